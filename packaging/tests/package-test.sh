#!/usr/bin/env bash
# Builds the Debian package from the build, unpacks it, and checks its files, its fields and
# that its programs run from where the package puts them.
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
(cd "$build" && cpack -B "$root/out" >/dev/null)
deb=$(ls "$root"/out/velmora-admin-tools_*.deb)
dpkg-deb -x "$deb" "$root/tree"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

libdir=$(cd "$root/tree/usr" && dirname "$(find . -name 'libkeeplib.so.*' -type f | sed 's|^\./||')")
expected="bin/keepctl
bin/realmscan
bin/vaultdump
bin/vaultfeed
$libdir/libkeeplib.so.4
$libdir/libkeeplib.so.4.1.0
share/applications/vaultfeed.desktop
share/bash-completion/completions/keepctl
share/doc/velmora-admin-tools/copyright
share/doc/velmora-admin-tools/registry.reg.example
share/icons/hicolor/scalable/apps/vaultfeed.svg
share/man/man1/keepctl.1
share/man/man1/realmscan.1
share/man/man1/vaultdump.1
share/man/man1/vaultfeed.1
share/man/man5/vestrel-registry.5"
actual=$(cd "$root/tree/usr" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$(echo "$expected" | LC_ALL=C sort)" ] || fail "packaged files:
$actual"
[ -z "$(cd "$root/tree" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] || fail "files outside /usr"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmora-admin-tools ] || fail "Package: $(field Package)"
[ "$(field Section)" = admin ] || fail "Section: $(field Section)"
[ "$(field Recommends)" = tdsodbc ] || fail "Recommends: $(field Recommends)"
[ "$(field Suggests)" = "samba-libs, winbind" ] || fail "Suggests: $(field Suggests)"
for dependency in libc6 libodbc2 libqt6dbus6 libqt6widgets6 libstdc++6; do
    case ", $(field Depends)" in
        *", $dependency "* | *", $dependency,"* | *", $dependency") ;;
        *) fail "Depends lacks $dependency: $(field Depends)" ;;
    esac
done
case "$(field Depends)" in
    *samba* | *wbclient* | *tdsodbc*) fail "Depends on what is only recommended or suggested: $(field Depends)" ;;
esac
[ -n "$(field Description | sed -n 2p)" ] || fail "no long description"

# The packaged keepctl finds the packaged library.
set +e
env -i PATH=/usr/bin:/bin TMPDIR="$root" "$root/tree/usr/bin/keepctl" >/dev/null
status=$?
set -e
[ $status -eq 87 ] || fail "packaged keepctl exit status $status"

[ $failures -eq 0 ]
