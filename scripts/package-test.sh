#!/usr/bin/env bash
# Builds the norvex package (scripts/package.sh), installs it on this machine with apt-get,
# checks the installed programs, man pages and systemd units, then purges it again.  Needs
# root; refuses to touch a norvex package that was installed before it ran.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "package-test: needs root (it installs the package)" >&2; exit 1; }
installed() { dpkg-query -W -f='${Status}' norvex 2>/dev/null | grep -q 'install ok installed'; }
if installed; then
    echo "package-test: norvex is installed already; remove it first" >&2
    exit 1
fi

deb=$(scripts/package.sh | grep '/norvex_[^/]*\.deb$')
version=$(dpkg-deb -f "$deb" Version)
unit_dir=/usr/lib/systemd/system
passed=0
failed=0
check() {  # what, command...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "package-test: FAILED: $what" >&2
    fi
}
apt() { DEBIAN_FRONTEND=noninteractive apt-get "$@" -y -qq >/dev/null; }
trap 'apt purge norvex' EXIT

apt install "$deb"
# dependencies are computed from the binaries, not listed by hand
check "Depends names libc6" eval "dpkg-query -W -f='\${Depends}' norvex | grep -q libc6"
check "norvexd --version" test "$(norvexd --version)" = "norvexd $version"
for program in norvexd norvex-group norvex-groupd norvex-relay relay-sim; do
    check "$program --help" eval "$program --help >/dev/null"
    check "man page of $program" test -s "/usr/share/man/man1/$program.1.gz"
done

# every unit loads clean against the installed files: no missing executable, user or unit
verify() {
    local out
    out=$(cd "$unit_dir" && systemd-analyze verify --man=no norvexd.service norvex-groupd.service \
          norvexd@verify.service norvex-relay@verify.service 2>&1) && [ -z "$out" ] && return 0
    echo "$out" >&2
    return 1
}
check "systemd-analyze verify" verify
# 2.0 or lower on systemd's exposure scale (the threshold counts tenths)
check "norvex-relay@.service installed" test -s "$unit_dir/norvex-relay@.service"
check "relay.conf.example installed" test -s /usr/share/doc/norvex/relay.conf.example
for unit in norvexd.service norvexd@.service norvex-groupd.service norvex-relay@.service; do
    check "exposure of $unit" eval "systemd-analyze security --offline=true --threshold=20 \
        $unit_dir/$unit >/dev/null"
done

apt purge norvex
trap - EXIT
check "purged" eval "! installed"
for path in /usr/bin/norvexd "$unit_dir/norvexd.service" /usr/share/man/man1/norvexd.1.gz; do
    check "$path gone" test ! -e "$path"
done

echo "package-test: $passed passed, $failed failed"
((failed == 0))
