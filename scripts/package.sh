#!/usr/bin/env bash
# Builds the Debian package of the administration tools from an optimised build without the tests,
# into build-package/: velmora-admin-tools_<version>_<architecture>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset package >/dev/null
cmake --build --preset package
(cd build-package && cpack >/dev/null)
ls build-package/*.deb
