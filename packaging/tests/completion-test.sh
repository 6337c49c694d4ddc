#!/usr/bin/env bash
# keepctl's bash completion: what it offers at each place of a command line.
set -euo pipefail
source "$(dirname "$0")/../../completions/keepctl"
failures=0
offered() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _keepctl
    echo "${COMPREPLY[*]}"
}
expect() {
    local expected=$1
    shift
    local actual
    actual=$(offered "$@")
    [ "$actual" = "$expected" ] || { echo "FAIL: keepctl ${*:2}: '$actual', expected '$expected'"; failures=$((failures + 1)); }
}
expect "SETUP SQLSERVERCHECK SQLSERVERCHECKSVRROLE" keepctl S
expect "BACKUP BROWSESQLSERVERS" keepctl B
expect "RPRT QUAR DIR CNFG" keepctl SETUP ""
expect "-s -cn -cm -u -p -a" keepctl SETUP QUAR -
expect "-s -cn -cm -u -p -b" keepctl RESTORE DIR -s SQL01 -
expect "-s -cn -cm -u -p" keepctl VERSION CNFG -
expect "-s -cn -cm -u -p -sr" keepctl SQLSERVERCHECKSVRROLE -
expect "-o -t -d" keepctl BROWSESQLSERVERS -
expect "1 2 3 4 5 6 7" keepctl BROWSESQLSERVERS -t ""
expect "-s -t" keepctl VALIDATESQLSERVERNAME -
expect "" keepctl SETUP QUAR -s ""
expect "" keepctl LOCALSQLSERVERTYPE -
[ $failures -eq 0 ]
