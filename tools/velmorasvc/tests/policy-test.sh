#!/usr/bin/env bash
# Checks the service's system bus policy on a private bus of type system that has the system bus's
# default policy: root and a member of the administrators' group may read the quarantine folder,
# ask about a file and start an import; any other user is refused each, by the bus itself. The
# policy's group is replaced by `staff`, a group every Debian system has, so that the check adds
# no group to this machine. Needs root (to call as other users); skips otherwise.
#
#   policy-test.sh BUILD_FOLDER POLICY_FILE
set -euo pipefail
build=$1
policy=$2
here=$(dirname "$0")

if (($(id -u) != 0)); then
    echo "SKIP: calling as other users needs root"
    exit 77
fi

work=$(mktemp -d)
# shellcheck source=../private-service.sh
source "$here/../private-service.sh"
trap 'stop_private_service; rm -rf "$work"' EXIT
# The bus is reached by users other than root.
chmod 755 "$work"

sed 's/group="velmora-admin"/group="staff"/' "$policy" >"$work/policy.conf"
sed -e "s|@SOCKET@|$work/bus|" -e "s|@POLICY@|$work/policy.conf|" "$here/system-bus.conf.in" >"$work/bus.conf"
start_with_first_line "$work/bus.address" dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=1 --syslog-only
export VESTREL_SERVICE_BUS=unix:path=$work/bus
mkdir "$work/quarantine"
printf 'QuarantineFolder=%s\nDatabase=%s\n' "$work/quarantine" "$work/quarantine.db" >"$work/service.conf"
start_with_first_line "$work/service.out" "$build/bin/velmorasvc" "$work/service.conf"

failures=0
# call WHO EXPECTED MEMBER ARGUMENTS...: runs busctl as WHO and compares the first word of its
# answer (the reply's signature), or "refused" when the bus denied the call.
call() {
    local who=$1 expected=$2 member=$3
    shift 3
    local -a as_user=()
    case $who in
    root) ;;
    member) as_user=(setpriv --reuid=nobody --regid=nogroup --groups=staff) ;;
    stranger) as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups) ;;
    esac
    local answer
    if answer=$("${as_user[@]}" busctl --address="$VESTREL_SERVICE_BUS" call org.vestrel.Velmora \
        /org/vestrel/Velmora/Quarantine "$@" 2>&1); then
        answer=${answer%% *}
    elif [[ $answer == "Call failed: Access denied" ]]; then
        answer=refused
    fi
    if [[ $answer != "$expected" ]]; then
        echo "FAIL: $who $member: expected $expected, got: $answer"
        failures=$((failures + 1))
    fi
}

for who in root member stranger; do
    allowed=yes
    [[ $who == stranger ]] && allowed=no
    answer() { if [[ $allowed == yes ]]; then echo "$1"; else echo refused; fi; }
    call "$who" "$(answer v)" QuarantineFolder org.freedesktop.DBus.Properties Get ss \
        org.vestrel.Velmora.Quarantine1 QuarantineFolder
    call "$who" "$(answer b)" IsFileKnown org.vestrel.Velmora.Quarantine1 IsFileKnown ay 5 113 46 116 109 112
    # The session ends when busctl leaves the bus, before the next caller asks for one.
    call "$who" "$(answer o)" StartImport org.vestrel.Velmora.Quarantine1 StartImport
done
((failures == 0))
