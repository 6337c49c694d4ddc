#!/usr/bin/env bash
# Checks a Debian package of the tools: its files, its fields, and that its programs run from
# where the package puts them. Given a build folder, builds the package from it first; given a
# .deb (what scripts/package.sh makes), checks that one.
#
#   package-test.sh BUILD_FOLDER | PACKAGE.deb
set -euo pipefail
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
if [[ $1 == *.deb ]]; then
    deb=$1
else
    (cd "$1" && cpack -B "$root/out" >/dev/null)
    deb=$(ls "$root"/out/velmora-admin-tools_*.deb)
fi
dpkg-deb -x "$deb" "$root/tree"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

libdir=$(cd "$root/tree/usr" && dirname "$(find . -name 'libkeeplib.so.*' -type f | sed 's|^\./||')")
source "$(dirname "$0")/expect-files.sh"
difference=$(unexpected_files "$root/tree/usr" "$libdir")
[ -z "$difference" ] || fail "packaged files differ from the list:
$difference"
[ -z "$(cd "$root/tree" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files outside /usr"

# Nothing of the tests is in what is installed: no test double (their classes' names would be in
# the type information), no test support, no variable that swapped a real part for a double.
for program in "$root"/tree/usr/bin/* "$root"/tree/usr/lib*/*/libkeeplib.so.* "$root"/tree/usr/lib*/libkeeplib.so.*; do
    [ -f "$program" ] || continue
    found=$(grep -aoE 'CFake[A-Za-z]*|MemoryCluster|ScriptedProvider|testsupport|VESTREL_SQL_SCRIPT' "$program" | sort -u || true)
    [ -z "$found" ] || fail "$(basename "$program") holds test code: $found"
done

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmora-admin-tools ] || fail "Package: $(field Package)"
[ "$(field Section)" = admin ] || fail "Section: $(field Section)"
[ "$(field Recommends)" = tdsodbc ] || fail "Recommends: $(field Recommends)"
[ "$(field Suggests)" = "samba-libs, winbind, libsasl2-modules-gssapi-mit, pacemaker-cli-utils" ] ||
    fail "Suggests: $(field Suggests)"
for dependency in libc6 libodbc2 libqt6widgets6 libstdc++6 libsystemd0; do
    case ", $(field Depends)" in
        *", $dependency "* | *", $dependency,"* | *", $dependency") ;;
        *) fail "Depends lacks $dependency: $(field Depends)" ;;
    esac
done
case "$(field Depends)" in
    *samba* | *wbclient* | *tdsodbc* | *ldap* | *krb5* | *sasl*) fail "Depends on what is only recommended or suggested: $(field Depends)" ;;
esac
[ -n "$(field Description | sed -n 2p)" ] || fail "no long description"
# Each line of the long description is one blank and text: more blanks would show it unwrapped.
field Description | sed -n '2,$p' | grep -qv '^ [^ ]' && fail "long description lines out of form: $(field Description)"

# The packaged keepctl finds the packaged library.
set +e
env -i PATH=/usr/bin:/bin TMPDIR="$root" "$root/tree/usr/bin/keepctl" >/dev/null
status=$?
set -e
[ $status -eq 87 ] || fail "packaged keepctl exit status $status"

[ $failures -eq 0 ]
