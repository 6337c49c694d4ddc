#!/usr/bin/env bash
# Makes a folder of quarantine files to run vaultdump on: three intact items (a mail, a small
# binary, an empty one), one damaged file, one file that is no quarantine file, a subfolder named
# like a quarantine file, and a file of another extension. The folder must not exist yet.
#
#   samples/quarantine/make-demo-folder.sh QUARWRITER FOLDER
#   e.g. samples/quarantine/make-demo-folder.sh build/bin/quarwriter /tmp/vaultdump-demo
set -euo pipefail

quarwriter=${1:?usage: make-demo-folder.sh QUARWRITER FOLDER}
folder=${2:?usage: make-demo-folder.sh QUARWRITER FOLDER}
mkdir "$folder"

printf 'From: sender@example.com\r\nTo: admin@example.com\r\nSubject: Invoice\r\n\r\nPlease see the attachment.\r\n' |
    "$quarwriter" --line "demo item 1" --line "text/plain" "$folder/Q20240101-0001.tmp"
printf '\x00\x01\x02\xfd\xfe\xff binary item\n' |
    "$quarwriter" --line "demo item 2" "$folder/Q20240101-0002.TMP"
"$quarwriter" --item /dev/null "$folder/Q20240101-0003.tmp"
# Damaged: the header says two lines follow, and the file ends inside the first.
"$quarwriter" --line "demo item 4" --count 0002 --item /dev/null "$folder/Q20240101-0004.tmp"
printf 'not a quarantine file\n' > "$folder/notes.tmp"
mkdir "$folder/archive.tmp"
printf 'left alone\n' > "$folder/readme.txt"
echo "made $folder"
