#!/usr/bin/env bash
# Installs every system package the project needs on a fresh Debian 12 machine. Packages that are
# already there are not asked for again, so a prepared machine needs no network. No daemon is
# started or left enabled: the cluster's and Samba's run only in the tests' own files and
# namespaces.
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
    qt6-base-dev qt6-base-dev-tools  # vaultfeed's windows
    libsystemd-dev pkg-config  # sd-bus: vaultfeed's calls to the product's service, and the substitute service
    libxcb1-dev librsvg2-bin fonts-dejavu-core  # vaultfeed: its display check, its pictures, its screenshots
    dbus-daemon dbus-bin       # the private buses of the tests and the demo
    time                       # peak memory in the benchmarks
    dpkg-dev file              # the Debian package: its dependencies found from the binaries
    groff-base                 # the manual pages rendered and checked
    libxml2-dev                # the cluster's configuration is XML
    pacemaker-cli-utils pacemaker  # Pacemaker's tools, which the tests and the demo run on CIB files
    # The domain tests' lab (tests/domain/domainlab.sh): controllers, members and their tools.
    # samba-vfs-modules: provisioning sets the sysvol's ACLs through it. libnss-winbind: a
    # member's smbd maps domain accounts through NSS. dnsmasq-base: the lab's DNS forwarder.
    # tcpdump: the check that nothing in the lab broadcasts. krb5-user: kinit.
    samba samba-vfs-modules samba-dsdb-modules samba-ad-provision winbind libnss-winbind ldb-tools
    krb5-user dnsmasq-base tcpdump
)

# Packages whose installation enables daemons, and the services they enable.
declare -A daemons=([corosync]=corosync [pacemaker]=pacemaker [cluster-glue]=logd
                    [samba]="smbd nmbd samba-ad-dc" [winbind]=winbind)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
((${#missing[@]} > 0)) || exit 0

echo "Installing: ${missing[*]}"
# No daemon may start or stay enabled: a policy forbids starting any while this script installs
# (the machine's own policy is put back afterwards), and what the installation enabled is disabled
# again. A daemon that was there before is left alone.
new_daemons=()
for package in "${!daemons[@]}"; do
    # shellcheck disable=SC2206 # a package's services are words
    installed "$package" || new_daemons+=(${daemons[$package]})
done
# The programs behave as a configured Samba computer's when /etc/samba/smb.conf exists, and the
# samba-common package writes one: a file that was not there before goes again.
had_smb_conf=$([[ -e /etc/samba/smb.conf ]] && echo yes || echo no)
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

for service in "${new_daemons[@]}"; do
    if [[ -e /etc/init.d/$service || -e /lib/systemd/system/$service.service ]]; then
        update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
    if [[ -e /lib/systemd/system/$service.service ]] && command -v deb-systemd-helper >/dev/null; then
        deb-systemd-helper disable "$service.service" >/dev/null 2>&1 || true
    fi
done
if [[ $had_smb_conf == no && -e /etc/samba/smb.conf ]]; then
    echo "Removing the /etc/samba/smb.conf the packages wrote: this machine is no Samba server"
    rm -f /etc/samba/smb.conf
fi
