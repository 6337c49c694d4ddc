#!/usr/bin/env bash
# Renders vaultfeed's windows into a folder, on no screen, importing through the substitute service
# on a private bus of the script's own.
#
#   tools/screenshots/render-screenshots.sh BUILD_FOLDER OUTPUT_FOLDER
set -euo pipefail
build=${1:?usage: render-screenshots.sh BUILD_FOLDER OUTPUT_FOLDER}
output=${2:?usage: render-screenshots.sh BUILD_FOLDER OUTPUT_FOLDER}
here=$(dirname "${BASH_SOURCE[0]}")

source "$here/../velmorasvc/private-service.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-XXXX")
trap 'stop_private_service; rm -rf "$work"' EXIT
start_private_service "$build" "$work/velmora"
mkdir -p "$output"
QT_QPA_PLATFORM=offscreen "$build/bin/vaultfeed_screenshots" "$work" "$output"
