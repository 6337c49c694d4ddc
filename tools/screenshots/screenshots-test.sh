#!/usr/bin/env bash
# Renders vaultfeed's windows as the documentation's pictures are made, and checks what came out:
# every picture, each a PNG, and one size for all the wizard's pages and one for both views of the
# dialog (the windows keep their size while the user goes through them).
set -euo pipefail
build=$1
here=$(dirname "${BASH_SOURCE[0]}")
output=$(mktemp -d)
trap 'rm -rf "$output"' EXIT
"$here/render-screenshots.sh" "$build" "$output" >/dev/null
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expected="dialog-error.png
dialog-progress.png
wizard-finish.png
wizard-folder.png
wizard-network-name.png
wizard-progress.png
wizard-welcome.png"
actual=$(cd "$output" && ls | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "pictures: $actual"

# The width and height of a PNG, from its header.
size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%d x %d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
for picture in "$output"/*.png; do
    [ "$(head -c 8 "$picture" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$(basename "$picture") is no PNG"
done
for window in wizard dialog; do
    sizes=$(for picture in "$output"/$window-*.png; do size "$picture"; echo; done | sort -u)
    [ "$(echo "$sizes" | wc -l)" -eq 1 ] || fail "the $window changes its size: $sizes"
done

[ $failures -eq 0 ]
