#!/usr/bin/env bash
# Installs every system package the project needs on a fresh Debian 12 machine. Packages that are
# already there are not asked for again, so a prepared machine needs no network.
set -euo pipefail

packages=(
    build-essential cmake ninja-build
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev   # the sanitizer build and the fuzzers
    clang-format
    unixodbc-dev odbcinst      # database access
    tdsodbc                    # the SQL Server driver (registers itself as FreeTDS)
    libsqliteodbc              # the driver the ODBC layer's own tests and the substitute service use
    libwbclient-dev            # winbind's header; Samba's libraries themselves load at run time
    samba-libs                 # libnetapi, so that the tests see the libraries a domain member has
    qt6-base-dev qt6-base-dev-tools  # Qt DBus, and qdbusxml2cpp for the service's proxies and adaptors
    libxcb1-dev librsvg2-bin fonts-dejavu-core  # vaultfeed: its display check, its pictures, its screenshots
    dbus-daemon dbus-bin       # the private buses of the tests and the demo
    time                       # peak memory in the benchmarks
    dpkg-dev file              # the Debian package: its dependencies found from the binaries
    groff-base                 # the manual pages rendered and checked
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
