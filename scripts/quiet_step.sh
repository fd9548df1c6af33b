# Sourced by the set-up scripts.  quiet_step WHAT LOG COMMAND... runs COMMAND with its output
# appended to LOG and prints one line for it; when it fails, the log follows on stderr and the
# command's exit status is returned.
quiet_step() {
  local what=$1 log=$2
  shift 2
  printf '%s ... ' "$what"
  "$@" >>"$log" 2>&1 && { echo ok; return 0; }
  local rc=$?
  echo "FAILED (exit $rc)"
  echo "---- $log ----" >&2
  cat "$log" >&2
  return "$rc"
}
