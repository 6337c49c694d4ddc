#!/usr/bin/env bash
# Shows the tools at work on this machine, with nothing sent anywhere: keepctl refusing a bad
# command line and writing both trace logs where a registry file tells it to.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ! -x build/bin/keepctl ]]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build
fi

demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
cat >"$demo/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keepctl]
"Info"="keepctl demo trace"
"TraceFileName"="$demo/logs/keepctl"
"WantIndent"=dword:00000001
"OutputToDebugger"=dword:00000000

[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]
"Info"="keeplib demo trace"
"TraceFileName"="$demo/logs/keeplib"
"WantIndent"=dword:00000001
"WantLogicalThread"=dword:00000001
"OutputToDebugger"=dword:00000000
REG
export VESTREL_REGISTRY_FILE="$demo/registry.reg"

step() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }

step keepctl SETUP QUAR -s SQL01
build/bin/keepctl SETUP QUAR -s SQL01 || echo "(exit status $?)"

step keepctl SETUP QUAR -s SQL01 -a 'CORP\svc-velmora' -cn 15
build/bin/keepctl SETUP QUAR -s SQL01 -a 'CORP\svc-velmora' -cn 15 || echo "(exit status $?)"

for log in "$demo"/logs/*.log; do
    step head -n 12 "$log"
    head -n 12 "$log"
done
