# Functions for scripts (sourced, not run): the substitute product service on a private bus of
# the script's own, never the machine's session or system bus.
#
#   source tools/velmorasvc/private-service.sh
#   start_private_service BUILD_FOLDER FOLDER   # serves FOLDER/quarantine, records in FOLDER/quarantine.db
#   ...                                         # VESTREL_SERVICE_BUS now names the bus
#   stop_private_service
#
# The service's first line (where it serves) is in private_service_line.

private_service_pids=()

# Runs a command in the background and waits until it has written its first line into the file;
# fails when it ends first, or after a minute: a hang guard that no loaded machine reaches.
start_with_first_line() {
    local output=$1
    shift
    "$@" >"$output" &
    private_service_pids+=("$!")
    local pid=$!
    for ((tries = 0; tries < 1200; ++tries)); do
        (( $(wc -l <"$output") > 0 )) && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "$1 did not start" >&2
    return 1
}

start_private_service() {
    local build=$1 folder=$2
    local here
    here=$(dirname "${BASH_SOURCE[0]}")
    mkdir -p "$folder/quarantine"
    start_with_first_line "$folder/bus.address" \
        dbus-daemon --config-file="$here/../bus/private-bus.conf" --address="unix:dir=$folder" --nofork \
        --print-address=1 --syslog-only
    VESTREL_SERVICE_BUS=$(head -n 1 "$folder/bus.address")
    export VESTREL_SERVICE_BUS
    # Anything that forgot to name the private bus fails instead of reaching the machine's buses.
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
    printf 'QuarantineFolder=%s\nDatabase=%s\n' "$folder/quarantine" "$folder/quarantine.db" >"$folder/service.conf"
    start_with_first_line "$folder/service.out" "$build/bin/velmorasvc" "$folder/service.conf"
    private_service_line=$(head -n 1 "$folder/service.out")
}

# Stops the service, then its bus.
stop_private_service() {
    local i
    for ((i = ${#private_service_pids[@]} - 1; i >= 0; --i)); do
        kill "${private_service_pids[i]}" 2>/dev/null && wait "${private_service_pids[i]}" 2>/dev/null
    done
    private_service_pids=()
}
