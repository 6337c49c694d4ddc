#!/usr/bin/env bash
# Installs every system package the project needs on a fresh Debian 12 machine. Packages that are
# already there are not asked for again, so a prepared machine needs no network. No daemon is
# started or left enabled: the Samba servers run only inside the domain tests' namespaces.
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
    libkrb5-dev libldap-dev libsasl2-dev  # the headers of the directory's reading; its libraries load at run time
    libsasl2-modules-gssapi-mit  # SASL's Kerberos mechanism, without which no directory can be read
    qt6-base-dev qt6-base-dev-tools  # Qt DBus, and qdbusxml2cpp for the service's proxies and adaptors
    libxcb1-dev librsvg2-bin fonts-dejavu-core  # vaultfeed: its display check, its pictures, its screenshots
    dbus-daemon dbus-bin       # the private buses of the tests and the demo
    time                       # peak memory in the benchmarks
    dpkg-dev file              # the Debian package: its dependencies found from the binaries
    groff-base                 # the manual pages rendered and checked
    # The domain tests' lab (tests/domain/domainlab.sh): controllers, members and their tools.
    # samba-vfs-modules: provisioning sets the sysvol's ACLs through it. libnss-winbind: a
    # member's smbd maps domain accounts through NSS. dnsmasq-base: the lab's DNS forwarder.
    # tcpdump: the check that nothing in the lab broadcasts. krb5-user: kinit.
    samba samba-vfs-modules samba-dsdb-modules samba-ad-provision winbind libnss-winbind ldb-tools
    krb5-user dnsmasq-base tcpdump
)
# What the Samba packages enable at boot, although policy-rc.d keeps them from starting.
services=(smbd nmbd winbind samba-ad-dc)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
((${#missing[@]} > 0)) || exit 0

echo "Installing: ${missing[*]}"
# The programs behave as a configured Samba computer's when /etc/samba/smb.conf exists, and the
# samba-common package writes one: a file that was not there before goes again.
had_smb_conf=$([[ -e /etc/samba/smb.conf ]] && echo yes || echo no)
# policy-rc.d exiting 101 keeps invoke-rc.d from starting any service the packages bring; one the
# machine already has is put back afterwards.
policy=/usr/sbin/policy-rc.d
saved_policy=""
if [[ -e $policy ]]; then
    saved_policy=$(mktemp)
    cp -p "$policy" "$saved_policy"
fi
restore_policy() {
    if [[ -n $saved_policy ]]; then mv "$saved_policy" "$policy"; else rm -f "$policy"; fi
}
trap restore_policy EXIT
printf '#!/bin/sh\nexit 101\n' >"$policy"
chmod 755 "$policy"

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# Without recommends: krb5-user's would write a host-wide /etc/krb5.conf.
apt-get install -y -q --no-install-recommends "${missing[@]}"

for service in "${services[@]}"; do
    if [[ -e /lib/systemd/system/$service.service ]] && command -v deb-systemd-helper >/dev/null; then
        deb-systemd-helper disable "$service.service" >/dev/null 2>&1 || true
    fi
    if [[ -e /etc/init.d/$service ]]; then
        update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
done
if [[ $had_smb_conf == no && -e /etc/samba/smb.conf ]]; then
    echo "Removing the /etc/samba/smb.conf the packages wrote: this machine is no Samba server"
    rm -f /etc/samba/smb.conf
fi
