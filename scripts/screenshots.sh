#!/usr/bin/env bash
# Renders vaultfeed's windows into docs/images/ (or the folder given), as the README shows them:
# every page of the wizard and both views of the unattended dialog, on no screen, importing through
# the substitute service on a private bus. The font is DejaVu Sans (fonts-dejavu-core).
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/images}
cmake --preset build >/dev/null
cmake --build --preset build --target vaultfeed_screenshots velmorasvc >/dev/null
tools/screenshots/render-screenshots.sh build "$output"
