#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# and runs each in turn, then merges the inputs that found new coverage into its corpus.
#
#   scripts/fuzz.sh [--runs N] [--time SECONDS] [--max-len BYTES] [--no-merge] [TARGET...]
#
# Targets are every ctest test labelled "fuzz" (norvex_add_fuzz), in name order; naming some runs
# only those, in the order given, and a named one that this tree does not define is skipped.  A target's corpus is the folder its
# ctest entry replays.  --runs defaults to 10000000; with --time as well, whichever ends first.
# Crashing inputs and each target's log land in build/fuzz/out/<target>/; the table of results in
# build/fuzz/out/summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10000000
seconds=0
merge=1
maxlen=8192
wanted=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --time) seconds=$2; shift 2 ;;
    --max-len) maxlen=$2; shift 2 ;;
    --no-merge) merge=0; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) wanted+=("$1"); shift ;;
  esac
done

build=build/fuzz
out=$build/out
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DNORVEX_LIBFUZZER=ON -DNORVEX_SANITIZE=address,undefined -DNORVEX_BUILD_BENCH=OFF >/dev/null

# name, executable and corpus folder of every fuzz test, one per line; the paths are known only
# once the executables exist, so the list is read again after the build
list_fuzz_tests() {
  ctest --test-dir "$build" -L fuzz --show-only=json-v1 |
    jq -r '.tests[] | "\(.name) \(.command[0]) \(.command[-1])"'
}
declare -A defined
while read -r name _; do defined[$name]=1; done < <(list_fuzz_tests)
if [ ${#wanted[@]} -eq 0 ]; then
  mapfile -t wanted < <(printf '%s\n' "${!defined[@]}" | sort)
fi
targets=()
for name in "${wanted[@]}"; do
  if [ -z "${defined[$name]:-}" ]; then
    echo "fuzz: $name is not defined here, skipped" >&2
  else
    targets+=("$name")
  fi
done
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no target to run" >&2; exit 1; }

nice -n 10 ninja -C "$build" -j "${NORVEX_FUZZ_BUILD_JOBS:-2}" "${targets[@]}"

declare -A exe corpus
while read -r name path dir; do
  exe[$name]=$path
  corpus[$name]=$dir
done < <(list_fuzz_tests)

# Keeps the corpus small: the smallest set of its inputs and the new ones that gives the same
# coverage.  Inputs with a name of their own (seeds, regressions) always stay; those named by
# libFuzzer (a SHA-1) stay only when the minimal set holds them.
minimise() {
  local bin=$1 dir=$2 scratch=$3 min
  min=$(mktemp -d)
  nice -n 10 "$bin" -merge=1 -max_len="$maxlen" "$min" "$dir" "$scratch"
  local f
  for f in "$dir"/*; do
    [[ $(basename "$f") =~ ^[0-9a-f]{40}$ ]] || continue
    [ -e "$min/$(basename "$f")" ] || rm -f "$f"
  done
  for f in "$min"/*; do
    [ -e "$f" ] || continue
    grep -qxF "$(basename "$f")" < <(sha1sum "$dir"/* 2>/dev/null | cut -d' ' -f1) ||
      cp "$f" "$dir/"
  done
  rm -rf "$min"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$out"
summary=$out/summary.txt
echo "# $(date -u +%FT%TZ) runs=$runs time=$seconds max_len=$maxlen" >>"$summary"
status=0
for name in "${targets[@]}"; do
  bin=${exe[$name]}
  dir=${corpus[$name]}
  if [ ! -x "$bin" ]; then
    echo "fuzz: $name was not built, skipped" >&2
    continue
  fi
  mkdir -p "$out/$name" "$dir"
  scratch=$(mktemp -d)
  limits=(-runs="$runs")
  [ "$seconds" -gt 0 ] && limits+=(-max_total_time="$seconds")
  echo "fuzz: $name (${limits[*]}), corpus $dir"
  result=ok
  nice -n 10 "$bin" "${limits[@]}" -max_len="$maxlen" -print_final_stats=1 \
    -artifact_prefix="$out/$name/" "$scratch" "$dir" >"$out/$name/log" 2>&1 || result=FAILED
  if [ "$result" = FAILED ]; then
    status=1
    tail -n 40 "$out/$name/log" >&2
  elif [ "$merge" = 1 ]; then
    minimise "$bin" "$dir" "$scratch" >"$out/$name/merge.log" 2>&1
  fi
  rm -rf "$scratch"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$name/log" | tail -n 1)
  final=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$out/$name/log" | tail -n 1 || true)
  files=$(find "$dir" -type f | wc -l)
  printf '%s\t%s\texecs=%s\tcorpus=%s files\t%s\n' "$name" "$result" "${execs:-?}" "$files" \
    "$final" | tee -a "$summary"
done
exit $status
