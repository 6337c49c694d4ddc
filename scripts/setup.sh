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
    qt6-base-dev qt6-base-dev-tools  # vaultfeed's windows
    libsystemd-dev pkg-config  # sd-bus: vaultfeed's calls to the product's service, and the substitute service
    libxcb1-dev librsvg2-bin fonts-dejavu-core  # vaultfeed: its display check, its pictures, its screenshots
    dbus-daemon dbus-bin       # the private buses of the tests and the demo
    time                       # peak memory in the benchmarks
    dpkg-dev file              # the Debian package: its dependencies found from the binaries
    groff-base                 # the manual pages rendered and checked
    libxml2-dev                # the cluster's configuration is XML
    pacemaker-cli-utils pacemaker  # Pacemaker's tools, which the tests and the demo run on CIB files
)

# Packages whose installation enables a cluster daemon, and the services they enable.
declare -A daemons=([corosync]=corosync [pacemaker]=pacemaker [cluster-glue]=logd)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    # No daemon may start or stay enabled: the cluster's packages start theirs when installed, so a
    # policy forbids it while this script installs (the machine's own policy, when it has one), and
    # what the installation enabled is disabled again. A daemon that was there before is left alone.
    new_daemons=()
    for package in "${!daemons[@]}"; do
        installed "$package" || new_daemons+=("${daemons[$package]}")
    done
    policy=/usr/sbin/policy-rc.d
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod 755 "$policy"
        trap 'rm -f "$policy"' EXIT
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
    for service in "${new_daemons[@]}"; do
        if [ -e "/etc/init.d/$service" ] || [ -e "/lib/systemd/system/$service.service" ]; then
            update-rc.d "$service" disable >/dev/null
        fi
    done
fi
