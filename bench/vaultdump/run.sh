#!/usr/bin/env bash
# Times vaultdump against a plain copy (cp) of the same bytes, on two folders made here: one item of
# 512 MiB, and 10,000 items of 8 KiB; the large item also against dd and against complement_copy,
# the plainest loop that reads, complements and writes in 1 MiB blocks. Prints the wall times, the
# peak memory of each and the ratios. Then times vaultdump alone on a folder where every output
# name is taken (65,535 earlier outputs beside 1,000 items), which fails each item. Removes
# everything it made. Builds nothing: pass the build folder that holds bin/vaultdump,
# bin/quarwriter and bin/complement_copy (the `build` preset's, a Release build as users get).
#
#   bench/vaultdump/run.sh BUILD_FOLDER [ROUNDS]
#
# Each measurement is the best of ROUNDS runs (default 3) with warm caches; the outputs are removed
# and the disk synced between runs, so that no run pays for another's write-back.
set -euo pipefail

build=${1:?usage: run.sh BUILD_FOLDER [ROUNDS]}
rounds=${2:-3}
vaultdump=$build/bin/vaultdump
quarwriter=$build/bin/quarwriter
complement_copy=$build/bin/complement_copy
for program in "$vaultdump" "$quarwriter" "$complement_copy" /usr/bin/time; do
    [[ -x $program ]] || { echo "missing $program" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vaultdump-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs a command under /usr/bin/time and prints "SECONDS KIB" (wall time, peak resident memory).
measure() {
    local report=$work/time.txt
    /usr/bin/time -f '%e %M' -o "$report" "$@" > /dev/null
    cat "$report"
}

# Best wall time and the largest peak memory over the rounds, of one folder for one program.
best_of() {
    local which=$1 folder=$2 best_time='' peak=0 seconds kib
    for ((round = 0; round < rounds; ++round)); do
        rm -rf "$work/copy"
        find "$folder" -name 'EXT*' -delete
        sync
        cat "$folder"/* > /dev/null # warm the page cache alike for both programs
        if [[ $which == cp ]]; then
            mkdir "$work/copy"
            read -r seconds kib < <(measure cp -r "$folder/." "$work/copy/")
        elif [[ $which == dd ]]; then
            mkdir "$work/copy"
            read -r seconds kib < <(measure sh -c 'for f in "$1"/*; do dd if="$f" of="$2/${f##*/}" bs=1M status=none; done' sh "$folder" "$work/copy")
        elif [[ $which == complement_copy ]]; then
            mkdir "$work/copy"
            read -r seconds kib < <(measure sh -c 'for f in "$1"/*; do "$3" "$f" "$2/${f##*/}"; done' sh "$folder" "$work/copy" "$complement_copy")
        else
            read -r seconds kib < <(measure "$vaultdump" "$folder")
        fi
        if [[ -z $best_time ]] || awk "BEGIN { exit !($seconds < $best_time) }"; then best_time=$seconds; fi
        ((kib > peak)) && peak=$kib
    done
    rm -rf "$work/copy"
    find "$folder" -name 'EXT*' -delete
    echo "$best_time $peak"
}

# cp (and cat) copy inside the kernel (copy_file_range) where they can; dd moves the bytes through
# a program's memory as vaultdump must, and complement_copy complements them too, so both are timed
# where one process does the whole copy.
report() {
    local title=$1 folder=$2 with_dd=$3 cp_time cp_kib dd_time dd_kib cc_time cc_kib vd_time vd_kib
    read -r cp_time cp_kib < <(best_of cp "$folder")
    read -r vd_time vd_kib < <(best_of vaultdump "$folder")
    printf '%s\n' "$title"
    printf '  cp         %7.2f s  peak %8d KiB\n' "$cp_time" "$cp_kib"
    if [[ $with_dd == yes ]]; then
        read -r dd_time dd_kib < <(best_of dd "$folder")
        printf '  dd bs=1M   %7.2f s  peak %8d KiB\n' "$dd_time" "$dd_kib"
        read -r cc_time cc_kib < <(best_of complement_copy "$folder")
        printf '  complement_copy %7.2f s  peak %8d KiB\n' "$cc_time" "$cc_kib"
    fi
    printf '  vaultdump  %7.2f s  peak %8d KiB\n' "$vd_time" "$vd_kib"
    awk -v a="$vd_time" -v b="$cp_time" 'BEGIN { printf "  time ratio vaultdump/cp:  %.2f\n", (b > 0 ? a / b : 0) }'
    if [[ $with_dd == yes ]]; then
        awk -v a="$vd_time" -v b="$dd_time" 'BEGIN { printf "  time ratio vaultdump/dd:  %.2f\n", (b > 0 ? a / b : 0) }'
        awk -v a="$vd_time" -v b="$cc_time" 'BEGIN { printf "  time ratio vaultdump/complement_copy:  %.2f\n", (b > 0 ? a / b : 0) }'
    fi
}

echo "making the folders in $work ..."
mkdir "$work/large" "$work/small"
head -c 512M /dev/urandom > "$work/item"
"$quarwriter" --line "bench item" --item "$work/item" "$work/large/Q0000.tmp"
rm "$work/item"
head -c 8K /dev/urandom > "$work/item"
"$quarwriter" --line "bench item" --item "$work/item" "$work/small/template"
rm "$work/item"
# Ten thousand copies, a thousand names per tee so that the open files stay within limits.
for ((block = 0; block < 10; ++block)); do
    names=()
    for ((i = block * 1000; i < (block + 1) * 1000; ++i)); do names+=("$work/small/$(printf 'Q%05d.tmp' "$i")"); done
    tee "${names[@]}" < "$work/small/template" > /dev/null
done
rm "$work/small/template"

report "one item of 512 MiB (file $(stat -c %s "$work/large/Q0000.tmp") bytes)" "$work/large" yes
report "10,000 items of 8 KiB" "$work/small" no

# Every EXT name taken: each of the 66,535 entries fails, and the run must still be quick.
mkdir "$work/full"
for ((i = 1; i <= 0xFFFF; ++i)); do : > "$work/full/$(printf 'EXT%X.tmp' "$i")"; done
for ((i = 0; i < 1000; ++i)); do cp "$work/small/$(printf 'Q%05d.tmp' "$i")" "$work/full/"; done
read -r full_time full_kib < <(measure "$vaultdump" "$work/full")
printf 'every output name taken (65,535 EXT files, 1,000 items)\n'
printf '  vaultdump  %7.2f s  peak %8d KiB\n' "$full_time" "$full_kib"
