#!/usr/bin/env bash
# Times vaultfeed importing 10,000 small quarantine files through the substitute service on a
# private bus, and reports files per second and the ratio to the import's floor measured in the
# same run: two bus round trips and one file copy a file. Then runs the benchmark of the single
# steps (the copy, a bus round trip, the service's reading and database writes) for where the time
# goes. Builds
# nothing: pass the build folder that holds bin/vaultfeed, bin/velmorasvc, bin/quarwriter and
# bin/import_steps_benchmark (a Release build gives the numbers worth recording).
#
#   bench/vaultfeed/run.sh BUILD_FOLDER [ROUNDS]
#
# Each round imports into an empty quarantine folder and a new database; the best round counts.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=$(realpath "${1:?usage: run.sh BUILD_FOLDER [ROUNDS]}")
rounds=${2:-3}
for program in vaultfeed velmorasvc quarwriter import_steps_benchmark; do
    [[ -x $build/bin/$program ]] || { echo "missing $build/bin/$program" >&2; exit 1; }
done

source tools/velmorasvc/private-service.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vaultfeed-bench-XXXXXX")
trap 'stop_private_service; rm -rf "$work"' EXIT

echo "making 10,000 files of 2 KiB in $work/source ..."
mkdir "$work/source"
head -c 2048 /dev/urandom >"$work/item"
"$build/bin/quarwriter" --line "SRVMAILNODE" --line "MSGinvoice" --line "VIRnone" --item "$work/item" "$work/template"
for ((block = 0; block < 10; ++block)); do
    names=()
    for ((i = block * 1000; i < (block + 1) * 1000; ++i)); do names+=("$work/source/$(printf 'Q%05d.tmp' "$i")"); done
    tee "${names[@]}" <"$work/template" >/dev/null
done

# The floor: the copy and the round trip, in nanoseconds, from the steps' benchmark.
step_ns() {
    "$build/bin/import_steps_benchmark" --benchmark_filter="^$1\$" --benchmark_min_time=1 --benchmark_format=csv \
        2>/dev/null | awk -F, -v name="\"$1\"" '$1 == name { print $3 }'
}
copy_ns=$(step_ns CopyIntoTheQuarantineFolder)
round_trip_ns=$(step_ns BusRoundTrip)
floor_us=$(awk -v c="$copy_ns" -v r="$round_trip_ns" 'BEGIN { printf "%.0f", (c + 2 * r) / 1000 }')
printf 'floor: copy %.0f us + 2 x round trip %.0f us = %s us a file, %.0f files per second\n' \
    "$(awk -v c="$copy_ns" 'BEGIN { print c / 1000 }')" "$(awk -v r="$round_trip_ns" 'BEGIN { print r / 1000 }')" \
    "$floor_us" "$(awk -v f="$floor_us" 'BEGIN { print 1e6 / f }')"

best=''
for ((round = 0; round < rounds; ++round)); do
    rm -rf "$work/service"
    start_private_service "$build" "$work/service"
    sync
    /usr/bin/time -f '%e %U %S' -o "$work/time.txt" "$build/bin/vaultfeed" "$work/source" MAILNODE >"$work/report.txt"
    read -r seconds user system <"$work/time.txt"
    # What the service and the bus spent on the processor, from their own accounting.
    service_cpu=$(awk '{ printf "%.2f", ($14 + $15) / 100 }' "/proc/${private_service_pids[1]}/stat")
    bus_cpu=$(awk '{ printf "%.2f", ($14 + $15) / 100 }' "/proc/${private_service_pids[0]}/stat")
    stop_private_service
    printf 'round %d: %s s; processor: vaultfeed %.2f s, service %s s, bus %s s\n' "$round" "$seconds" \
        "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" "$service_cpu" "$bus_cpu"
    tr -d '\r' <"$work/report.txt" | sed 's/^/  /'
    if [[ -z $best ]] || awk "BEGIN { exit !($seconds < $best) }"; then best=$seconds; fi
done
awk -v s="$best" -v f="$floor_us" \
    'BEGIN { printf "best: %.2f s, %.0f files per second, %.2f x the floor\n", s, 10000 / s, s * 1e6 / (10000 * f) }'

echo
echo "the single steps:"
"$build/bin/import_steps_benchmark" --benchmark_min_time=1
