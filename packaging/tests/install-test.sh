#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and runs each installed program from there with a
# clean environment (no LD_LIBRARY_PATH): it must find its library and answer as it should.
set -euo pipefail
build=$1
libdir=$2 # the library folder below the prefix, as GNUInstallDirs chose it
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root/dest" cmake --install "$build" --prefix /usr >/dev/null
usr="$root/dest/usr"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { env -i PATH=/usr/bin:/bin TMPDIR="$root" "$@"; }

source "$(dirname "$0")/expect-files.sh"
difference=$(unexpected_files "$usr" "$libdir")
[ -z "$difference" ] || fail "installed files differ from the list:
$difference"

# keepctl: the usage text, exit status 87.
set +e
out=$(run "$usr/bin/keepctl")
status=$?
set -e
[ $status -eq 87 ] || fail "keepctl exit status $status"
case $out in
    "Not enough parameters."*"Check whether or not a given server-name would be valid:"*) ;;
    *) fail "keepctl printed: $out" ;;
esac

# vaultdump on an empty folder.
mkdir "$root/empty"
out=$(run "$usr/bin/vaultdump" "$root/empty")
[ "$out" = "Enumerating files from folder [$root/empty/]"$'\r\n'"Could not enumerate files in [$root/empty/]"$'\r\n0 file(s) were extracted successfully\r' ] ||
    fail "vaultdump printed: $out"

# realmscan, on a computer joined to no domain.
set +e
out=$(run "$usr/bin/realmscan" 2>"$root/err")
status=$?
set -e
[ "$out" = "Starting..." ] && [ $status -eq 1 ] && [ "$(tail -n 1 "$root/err")" = "Error: 0x80004005" ] ||
    fail "realmscan: status $status, printed: $out / $(cat "$root/err")"

# vaultfeed: without a display it runs in the terminal, and says that the service cannot be reached.
set +e
out=$(run VESTREL_SERVICE_BUS="unix:path=$root/no-bus" "$usr/bin/vaultfeed" "$root/empty" 2>"$root/err")
status=$?
set -e
expected_error="Com Error:0x800706ba,'The RPC server is unavailable.','org.vestrel.Velmora.Quarantine1','Cannot reach \
unix:path=$root/no-bus: No such file or directory'"
[ -z "$out" ] && [ $status -eq 3 ] && [ "$(cat "$root/err")" = "$expected_error" ] ||
    fail "vaultfeed: status $status, printed: $out / $(cat "$root/err")"

# The manual pages render without a warning, on a terminal of 80 columns as man shows them too.
for page in "$usr"/share/man/man*/*; do
    warnings=$(groff -ww -z -man "$page" 2>&1; groff -ww -z -man -Tutf8 -rLL=78n "$page" 2>&1)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

[ $failures -eq 0 ]
