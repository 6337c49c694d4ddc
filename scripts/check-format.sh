#!/usr/bin/env bash
# Fails, naming them, when C++ files of the tree differ from what clang-format makes of them
# (.clang-format). With --fix, formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' | while read -r f; do
    [ -f "$f" ] && echo "$f"
done)
if [ "${1:-}" = --fix ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
if ! report=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
    echo "Not formatted as .clang-format says (scripts/check-format.sh --fix formats them):" >&2
    grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /' >&2
    exit 1
fi
