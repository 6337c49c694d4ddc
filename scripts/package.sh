#!/usr/bin/env bash
# Builds the Debian package of the administration tools from an optimised build, into
# build-package/: velmora-admin-tools_<version>_<architecture>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build-package --target installed_files
(cd build-package && cpack >/dev/null)
ls build-package/*.deb
