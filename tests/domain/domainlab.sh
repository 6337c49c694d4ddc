#!/usr/bin/env bash
# domainlab.sh - three Samba Active Directory domains with their trusts and two member servers,
# built from nothing inside Linux namespaces on this machine, and torn down again: the domain the
# domain tests run in.
#
#   domainlab.sh test PROGRAM [ARG...]   up, check, the program on this side (DOMAINLAB_DIR,
#                                        DOMAINLAB_SCRIPT and a TMPDIR inside the lab's folder
#                                        exported), check again, down; one line and success where
#                                        namespaces cannot be made (no privilege)
#   domainlab.sh up                      build the lab (namespaces, network, domains, trusts,
#                                        members); prints each stage's time and the memory
#   domainlab.sh check                   compare the lab with what it must be ("N passed, M failed")
#   domainlab.sh exec HOST CMD...        run a command inside a host, in a clean environment
#   domainlab.sh shell HOST              an interactive shell inside a host
#   domainlab.sh member-conf HOST [scan|noscan] [netbios|nonetbios] [flush]
#                                        rewrite a member's smb.conf and restart its daemons
#                                        (defaults: noscan netbios); flush empties Samba's caches
#   domainlab.sh daemons HOST stop|start stop a member's Samba daemons, or start them again
#   domainlab.sh status                  the hosts, their processes and memory
#   domainlab.sh down                    kill everything the lab started and remove its folder
#
# The lab:
#   domain ALPHA (alpha.test)  controller alphadc  10.99.0.11
#   domain BETA  (beta.test)   controller betadc   10.99.0.12  forest trust with ALPHA, both ways
#   domain GAMMA (gamma.test)  controller gammadc  10.99.0.13  external trust: GAMMA trusts ALPHA
#                                                               (inbound only, seen from ALPHA)
#   member server amember.alpha.test 10.99.0.21, joined to ALPHA, running winbindd and smbd
#   member server bmember.beta.test  10.99.0.22, joined to BETA: a server of the trusting forest
#                                    that, unlike a controller, refuses anonymous sessions
#   a DNS forwarder (dnsmasq) at 10.99.0.1 in the lab's own "switch" namespace, sending each
#   domain's names to its controller and answering nothing else.
#
# Isolation:
#   - every host is its own set of namespaces (net, mount, uts, ipc, pid), made with unshare; a
#     "switch" namespace holds a bridge that joins the hosts' veth pairs. None of them has a route
#     or an interface to the outside, so no packet can leave the machine.
#   - nothing broadcasts, even inside the lab: each address is a /32 (no subnet broadcast
#     address), ARP is off (every host knows its peers' fixed MAC addresses), multicast is off,
#     IPv6 is off. DOMAINLAB_CAPTURE=1 records what would cross the bridge anyway; `check`
#     expects nothing.
#   - each host's mount namespace lays an overlay over /etc (its own hosts, resolv.conf,
#     krb5.conf, samba/), private folders over /var/lib/samba, /var/cache/samba, /var/log/samba,
#     /root, and a private tmpfs on /run and /tmp. Mounts are private to the namespace: the host
#     never sees them, and never gets an /etc/samba/smb.conf.
#   - NetBIOS names are found in /etc/samba/lmhosts ("name resolve order = lmhosts host"), never
#     by broadcast or WINS. The controllers' NetBIOS service answers unicast queries and the
#     netlogon mailslot; the members run nmbd only while their NetBIOS is enabled.
#   - tear-down kills each namespace's first process, which kills the whole pid namespace.
#
# Environment:
#   DOMAINLAB_DIR      the lab's folder (default: build/domainlab of the source tree)
#   DOMAINLAB_CAPTURE  1: record the bridge's broadcast and multicast frames (tcpdump); `check`
#                      then expects none
#   DOMAINLAB_KEEP     1: down keeps the lab's folder (logs, databases)
#   DOMAINLAB_SLIM     1 (default): controllers with one process per service and no replication;
#                      0: Samba's defaults (the controllers then also advertise a time service)
#
# Needs root, util-linux (unshare, nsenter), iproute2, and the packages of scripts/setup.sh.

set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SELF="$HERE/$(basename "${BASH_SOURCE[0]}")"
# Absolute: the hosts see the lab's folder at the same path, from their own working folders.
LAB=$(realpath -m "${DOMAINLAB_DIR:-$HERE/../../build/domainlab}")
# The source tree, whose programs the hosts run.
TREE=$(realpath "$HERE/../..")
SLIM=${DOMAINLAB_SLIM:-1}
# The Administrator password of the three domains: a lab's own, never used elsewhere.
PASS=Lab.Passw0rd.1

NET=10.99.0
SWITCH_IP=$NET.1
HOSTS=(alphadc betadc gammadc amember bmember)
CONTROLLERS=(alphadc betadc gammadc)
MEMBERS=(amember bmember)
declare -A IP=([alphadc]=$NET.11 [betadc]=$NET.12 [gammadc]=$NET.13 [amember]=$NET.21 [bmember]=$NET.22)
declare -A REALM=([alphadc]=ALPHA.TEST [betadc]=BETA.TEST [gammadc]=GAMMA.TEST [amember]=ALPHA.TEST
                  [bmember]=BETA.TEST)
declare -A FLAT=([alphadc]=ALPHA [betadc]=BETA [gammadc]=GAMMA [amember]=ALPHA [bmember]=BETA)
# The DNS server each host asks: a controller itself, a member its domain's controller.
declare -A RESOLVER=([alphadc]=$NET.11 [betadc]=$NET.12 [gammadc]=$NET.13 [amember]=$NET.11
                     [bmember]=$NET.12)

# A clean environment inside the hosts: nothing of the caller's (KRB5CCNAME, a PATH with other
# interpreters, TMPDIR) leaks in.
HOST_ENV=(env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8
          PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)

log() { printf '%s domainlab: %s\n' "$(date +%T)" "$*" >&2; }
die() { log "error: $*"; exit 1; }

# ---------------------------------------------------------------------------------------------
# Timings: each stage's seconds go to $LAB/timings and to standard error.

seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

STAGE_NAME=""
STAGE_START=0
stage() {
    if [[ -n $STAGE_NAME ]]; then
        printf '%-34s %6.1f s\n' "$STAGE_NAME" "$(seconds_since "$STAGE_START")" | tee -a "$LAB/timings" >&2
    fi
    STAGE_NAME=$1
    STAGE_START=$(date +%s.%N)
}

# The Samba (and dnsmasq) processes of the machine itself, as "pid:name ...": those of the
# machine's own pid namespace, not the lab's.
host_daemons() {
    local self p found=""
    self=$(readlink /proc/self/ns/pid)
    for p in /proc/[0-9]*; do
        [[ $(readlink "$p/ns/pid" 2>/dev/null) == "$self" ]] || continue
        case $(cat "$p/comm" 2>/dev/null) in
        samba | smbd | nmbd | winbindd | samba-dcerpcd | dnsmasq) found+="${p#/proc/}:$(cat "$p/comm") " ;;
        esac
    done
    echo "$found"
}

# ---------------------------------------------------------------------------------------------
# Namespaces.

# The host-side pid of a lab host's first process (pid 1 of its namespaces).
host_pid() { cat "$LAB/hosts/$1/pid" 2>/dev/null || die "no host $1 (is the lab up?)"; }

# Runs a command inside a host's namespaces, with a clean environment.
in_host() {
    local host=$1
    shift
    nsenter -t "$(host_pid "$host")" -m -u -i -n -p --wd=/root "${HOST_ENV[@]}" "$@"
}

# The same in place of this script: whoever started it can signal nsenter, whose only child
# is the command (nsenter forks once to enter the pid namespace).
exec_in_host() {
    local host=$1
    shift
    exec nsenter -t "$(host_pid "$host")" -m -u -i -n -p --wd=/root "${HOST_ENV[@]}" "$@"
}

in_switch() { nsenter -t "$(host_pid switch)" -n -m -u -i -p "$@"; }
# Only the switch's network namespace: host-side pids (of the hosts' namespaces) stay visible.
in_switch_net() { nsenter -t "$(host_pid switch)" -n "$@"; }

# Starts a new set of namespaces whose first process runs hostinit (below) and waits until it
# has laid out its mounts. Its host-side pid goes to $LAB/hosts/NAME/pid.
start_namespaces() {
    local name=$1 dir=$LAB/hosts/$1
    mkdir -p "$dir"/{etc.upper,etc.work,lib,cache,log,root}
    # setsid: the namespaces do not die with the caller's terminal session.
    setsid unshare --net --mount --uts --ipc --pid --fork --propagation private --mount-proc \
        bash "$SELF" hostinit "$name" "$dir" </dev/null >"$dir/init.log" 2>&1 &
    local parent=$! child="" i
    for i in $(seq 1 200); do
        child=$(pgrep -P "$parent" || true)
        [[ -n $child && -e $dir/ready ]] && break
        sleep 0.05
    done
    [[ -n $child && -e $dir/ready ]] || die "namespaces of $name did not start: $(cat "$dir/init.log")"
    echo "$child" >"$dir/pid"
    echo "$parent" >"$dir/unshare.pid"
}

# Lays a private tmpfs over FOLDER. The source tree and the lab's folder stay visible at their
# paths when they lie below it (a checkout in /tmp): the tmpfs is laid out at STAGING, they are
# bound into it at their own paths, and the whole is then moved over FOLDER.
private_tmpfs() {
    local folder=$1 mode=$2 staging=$3 path
    mkdir -p "$staging"
    mount -t tmpfs -o "mode=$mode" tmpfs "$staging"
    for path in "$TREE" "$LAB"; do
        [[ $path == "$folder"/* && $path != "$TREE"/* ]] || continue
        mkdir -p "$staging${path#"$folder"}"
        mount --bind "$path" "$staging${path#"$folder"}"
    done
    # -n: the move covers the mount table that mount would update (/run/mount/utab).
    mount -n --move "$staging" "$folder"
}

# The first process of a host's namespaces: lays out the private mounts, then waits (and reaps
# the orphans of daemons) until tear-down kills it.
cmd_hostinit() {
    local name=$1 dir=$2
    hostname "$name"
    # IPv6 off before any interface comes: no link-local address, no solicitation.
    sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
    ip link set lo up
    # /etc: an overlay whose writes land in the host's own folder.
    mount -t overlay overlay -o "lowerdir=/etc,upperdir=$dir/etc.upper,workdir=$dir/etc.work" /etc
    # Samba's state, caches and logs: private folders bound over the folders the packages made
    # on the machine (a missing one means the packages are not installed). /etc/samba is made
    # inside the overlay if the machine has none.
    mkdir -p /etc/samba
    local target source
    for target in /var/lib/samba:lib /var/cache/samba:cache /var/log/samba:log; do
        source=$dir/${target#*:}
        target=${target%:*}
        [[ -d $target ]] || { echo "missing mount point $target (run scripts/setup.sh)"; exit 1; }
        mount --bind "$source" "$target"
    done
    mkdir -p "$dir/lib/private"
    chmod 700 "$dir/lib/private"
    mount --bind "$dir/root" /root
    private_tmpfs /run 755 "$dir/run.staging"
    mkdir -p /run/samba /run/lock
    private_tmpfs /tmp 1777 "$dir/tmp.staging"
    : >"$dir/ready"
    trap 'exit 0' TERM
    while :; do
        sleep 3600 &
        wait $! || true
    done
}

# ---------------------------------------------------------------------------------------------
# Network: a bridge in the switch namespace, one veth pair per host.

# A lab address's fixed MAC address (locally administered), from its last byte.
mac_of() { printf '02:00:0a:63:00:%02x' "${1##*.}"; }

setup_network() {
    start_namespaces switch
    # Every address is a /32 with a route to the lab's /24: no interface has a subnet broadcast
    # address, so even NetBIOS name registration (which "broadcasts" to each interface's
    # broadcast address) only reaches the host itself. ARP is off on every link and each host
    # knows its peers' fixed MAC addresses as permanent neighbours. No multicast either: without
    # snooping the bridge joins no group (it would announce 224.0.0.106 by IGMP). The bridge's
    # own address is fixed too: it would otherwise change as ports are added, and the hosts'
    # neighbour entries for the forwarder would go stale.
    in_switch_net ip link add br0 address "$(mac_of "$SWITCH_IP")" type bridge mcast_snooping 0
    in_switch_net ip addr add "$SWITCH_IP/32" dev br0
    in_switch_net ip link set br0 arp off multicast off up
    in_switch_net ip route add "$NET.0/24" dev br0 src "$SWITCH_IP"
    if [[ ${DOMAINLAB_CAPTURE:-} == 1 ]]; then
        # -Z root: the tcpdump account is not seen through the overlay of /etc.
        in_switch bash -c "setsid tcpdump -Z root -i br0 -n -U -w '$LAB/broadcast.pcap' 'broadcast or multicast' \
            </dev/null >'$LAB/hosts/switch/tcpdump.log' 2>&1 &"
    fi
    local host peer
    local -a addresses=("$SWITCH_IP")
    for host in "${HOSTS[@]}"; do addresses+=("${IP[$host]}"); done
    for host in "${HOSTS[@]}"; do
        start_namespaces "$host"
        # Both ends are made in the switch namespace; the host's end moves straight into the
        # host's namespace: the machine's own network namespace never holds either.
        in_switch_net ip link add "v-$host" type veth peer name eth0 \
            address "$(mac_of "${IP[$host]}")" netns "$(host_pid "$host")"
        in_switch_net ip link set "v-$host" master br0 arp off multicast off up
        in_host "$host" ip addr add "${IP[$host]}/32" dev eth0
        in_host "$host" ip link set eth0 arp off multicast off up
        in_host "$host" ip route add "$NET.0/24" dev eth0 src "${IP[$host]}"
        for peer in "${addresses[@]}"; do
            [[ $peer != "${IP[$host]}" ]] || continue
            in_host "$host" ip neigh replace "$peer" lladdr "$(mac_of "$peer")" dev eth0 nud permanent
        done
        in_switch_net ip neigh replace "${IP[$host]}" lladdr "$(mac_of "${IP[$host]}")" dev br0 nud permanent
    done
}

# DNS: dnsmasq in the switch namespace forwards each domain to its controller and answers
# nothing else (no upstream, no /etc/hosts, no DHCP). The controllers forward to it the names
# they do not hold.
start_dns_forwarder() {
    local conf=$LAB/hosts/switch/dnsmasq.conf
    cat >"$conf" <<EOF
no-resolv
no-hosts
no-poll
bind-interfaces
listen-address=$SWITCH_IP
except-interface=lo
server=/alpha.test/${IP[alphadc]}
server=/beta.test/${IP[betadc]}
server=/gamma.test/${IP[gammadc]}
# reverse lookups of the lab's addresses stay in the lab and find nothing
server=/0.99.10.in-addr.arpa/
log-queries
log-facility=$LAB/hosts/switch/dnsmasq.log
pid-file=$LAB/hosts/switch/dnsmasq.pid
EOF
    in_switch dnsmasq --conf-file="$conf" --user=root
}

# The files every host gets in its own /etc.
write_host_files() {
    local host=$1 domain=${REALM[$1],,}
    in_host "$host" bash -c "cat >/etc/hosts" <<EOF
127.0.0.1 localhost
${IP[$host]} $host.$domain $host
EOF
    in_host "$host" bash -c "cat >/etc/resolv.conf" <<EOF
search $domain
nameserver ${RESOLVER[$host]}
options timeout:2 attempts:2
EOF
    # NetBIOS names of the lab: hosts (#20, #00) and each domain's controllers (#1C, #1B).
    in_host "$host" bash -c "cat >/etc/samba/lmhosts" <<EOF
${IP[alphadc]} ALPHADC
${IP[betadc]} BETADC
${IP[gammadc]} GAMMADC
${IP[amember]} AMEMBER
${IP[bmember]} BMEMBER
${IP[alphadc]} ALPHA#1c
${IP[alphadc]} ALPHA#1b
${IP[betadc]} BETA#1c
${IP[betadc]} BETA#1b
${IP[gammadc]} GAMMA#1c
${IP[gammadc]} GAMMA#1b
EOF
}

# ---------------------------------------------------------------------------------------------
# Domains.

provision_dc() {
    local host=$1 realm=${REALM[$1]} flat=${FLAT[$1]}
    write_host_files "$host"
    # The controllers keep NetBIOS (their nbt server answers name queries and the netlogon
    # mailslot, by unicast): a member with NetBIOS enabled finds them by their domain's NetBIOS
    # name. Their /32 address leaves them no broadcast address to register names on.
    in_host "$host" samba-tool domain provision --use-rfc2307 --dns-backend=SAMBA_INTERNAL \
        --server-role=dc --realm="$realm" --domain="$flat" --host-name="$host" \
        --host-ip="${IP[$host]}" --adminpass="$PASS" \
        --option="dns forwarder = $SWITCH_IP" \
        --option="interfaces = eth0" \
        --option="bind interfaces only = yes" \
        --option="name resolve order = lmhosts host" \
        --option="smb ports = 445" \
        --option="log level = 1" >"$LAB/hosts/$host/provision.log" 2>&1 ||
        die "provision of $flat failed: $(tail -20 "$LAB/hosts/$host/provision.log")"
    in_host "$host" cp /var/lib/samba/private/krb5.conf /etc/krb5.conf
    if [[ $SLIM == 1 ]]; then
        # One process per prefork service instead of 4 + 1, and none of the services a lone
        # controller does not need (replication, its topology, WINS replication, NTP signing).
        in_host "$host" sed -i -e '/^\[global\]/a\
\tprefork children = 1\
\tserver services = -drepl -kcc -wrepl -ntp_signd' /etc/samba/smb.conf
    fi
}

# Provisioning is CPU-bound: the three run side by side, each into its own log.
provision_controllers() {
    local host pid failed=0
    local -a pids=()
    for host in "${CONTROLLERS[@]}"; do
        provision_dc "$host" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
    [[ $failed == 0 ]] || die "a controller could not be provisioned"
}

# Waits until a controller answers LDAP and Kerberos on its address and its DNS serves its
# domain's controller record.
wait_dc() {
    local host=$1 domain=${REALM[$1],,} i
    for i in $(seq 1 480); do
        if in_host "$host" bash -c "exec 3<>/dev/tcp/${IP[$host]}/389 && exec 4<>/dev/tcp/${IP[$host]}/88" 2>/dev/null &&
            in_host "$host" python3 -c "
import dns.resolver
r = dns.resolver.Resolver(configure=False); r.nameservers = ['${IP[$host]}']; r.lifetime = 2
r.resolve('_ldap._tcp.dc._msdcs.$domain', 'SRV')" 2>/dev/null; then
            return 0
        fi
        sleep 0.25
    done
    die "controller $host did not come up: $(tail -20 "$LAB/hosts/$host/log/log.samba" 2>/dev/null)"
}

create_trusts() {
    # A forest trust both ways between ALPHA and BETA, made from ALPHA's controller with BETA's
    # administrator; both sides' trusted-domain objects are written.
    in_host alphadc samba-tool domain trust create beta.test --type=forest --direction=both \
        --create-location=both -U "Administrator@BETA.TEST%$PASS" \
        --local-dc-username=Administrator --local-dc-password="$PASS" \
        >"$LAB/hosts/alphadc/trust-beta.log" 2>&1 ||
        die "forest trust failed: $(tail -20 "$LAB/hosts/alphadc/trust-beta.log")"
    # An external trust in one direction: GAMMA trusts ALPHA (ALPHA's accounts may use GAMMA's
    # servers). ALPHA holds an inbound-only trust, GAMMA an outbound-only one.
    in_host alphadc samba-tool domain trust create gamma.test --type=external --direction=incoming \
        --create-location=both -U "Administrator@GAMMA.TEST%$PASS" \
        --local-dc-username=Administrator --local-dc-password="$PASS" \
        >"$LAB/hosts/alphadc/trust-gamma.log" 2>&1 ||
        die "external trust failed: $(tail -20 "$LAB/hosts/alphadc/trust-gamma.log")"
}

# A member's smb.conf: whether winbind lists the trusted domains ("yes" or "no") and whether
# NetBIOS is enabled ("yes" or "no").
member_smb_conf() {
    local host=$1 scan=$2 netbios=$3 realm=${REALM[$1]} flat=${FLAT[$1]}
    cat <<EOF
[global]
    workgroup = $flat
    realm = $realm
    netbios name = ${host^^}
    security = ads
    # the machine account's keys also go to /etc/krb5.keytab: the computer can prove who it is
    kerberos method = secrets and keytab
    winbind scan trusted domains = $scan
    winbind use default domain = no
    winbind enum users = no
    winbind enum groups = no
    template shell = /bin/bash
    idmap config * : backend = tdb
    idmap config * : range = 3000-7999
    idmap config $flat : backend = rid
    idmap config $flat : range = 10000-999999
    disable netbios = $([[ $netbios == yes ]] && echo no || echo yes)
    name resolve order = lmhosts host
    # nmbd (run when NetBIOS is enabled) takes part in no browse election
    local master = no
    domain master = no
    preferred master = no
    smb ports = 445
    log file = /var/log/samba/log.%m
    log level = 1
    max log size = 10000
EOF
}

join_member() {
    local host=$1 realm=${REALM[$1]}
    write_host_files "$host"
    in_host "$host" bash -c "cat >/etc/krb5.conf" <<EOF
[libdefaults]
    default_realm = $realm
    dns_lookup_realm = false
    dns_lookup_kdc = true
    rdns = false
EOF
    # smbd maps domain accounts to Unix users through NSS: without winbind in nsswitch.conf an
    # authenticated session fails ("Failed to find local account with UID ...").
    in_host "$host" sed -i -E 's/^(passwd|group):.*/\1: files winbind/' /etc/nsswitch.conf
    member_smb_conf "$host" no yes | in_host "$host" bash -c "cat >/etc/samba/smb.conf"
    in_host "$host" net ads join -U "Administrator%$PASS" >"$LAB/hosts/$host/join.log" 2>&1 ||
        die "join of $host failed: $(cat "$LAB/hosts/$host/join.log")"
}

# Starts a member's daemons and waits until winbind reaches its domain. nmbd runs only while
# NetBIOS is enabled: it receives the controllers' netlogon mailslot answers, without which no
# domain controller can be found by the domain's NetBIOS name.
start_member() {
    local host=$1 i
    if in_host "$host" grep -q 'disable netbios = no' /etc/samba/smb.conf; then in_host "$host" nmbd -D; fi
    in_host "$host" winbindd -D
    in_host "$host" smbd -D
    for i in $(seq 1 240); do
        if in_host "$host" wbinfo -P >/dev/null 2>&1; then return 0; fi
        sleep 0.25
    done
    die "winbind on $host did not reach its domain: $(in_host "$host" wbinfo -P 2>&1)"
}

# Stops a member's daemons, each by the pid its pid file holds (checked to be that daemon: a
# pid file left behind may name another process by now), and waits until they are gone.
stop_member() {
    local host=$1 daemon pid
    for daemon in winbindd smbd nmbd; do
        pid=$(in_host "$host" cat "/run/samba/$daemon.pid" 2>/dev/null || true)
        [[ -n $pid && $(in_host "$host" cat "/proc/$pid/comm" 2>/dev/null) == "$daemon" ]] || continue
        in_host "$host" kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 1 200); do in_host "$host" kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    done
}

cmd_member_conf() {
    local host=$1 scan=no netbios=yes flush=0 word
    shift
    [[ " ${MEMBERS[*]} " == *" $host "* ]] || die "$host is no member server"
    for word in "$@"; do
        case $word in
        scan) scan=yes ;; noscan) scan=no ;;
        netbios) netbios=yes ;; nonetbios) netbios=no ;;
        flush) flush=1 ;;
        *) die "member-conf: unknown setting $word" ;;
        esac
    done
    member_smb_conf "$host" "$scan" "$netbios" | in_host "$host" bash -c "cat >/etc/samba/smb.conf"
    stop_member "$host"
    if [[ $flush == 1 ]]; then
        in_host "$host" net cache flush
        in_host "$host" rm -f /var/cache/samba/winbindd_cache.tdb
    fi
    start_member "$host"
}

cmd_daemons() {
    local host=$1 action=$2
    [[ " ${MEMBERS[*]} " == *" $host "* ]] || die "$host is no member server"
    case $action in
    stop) stop_member "$host" ;;
    start) start_member "$host" ;;
    *) die "daemons: stop or start" ;;
    esac
}

# ---------------------------------------------------------------------------------------------
# Memory: the proportional set size (PSS: shared pages split between their users) of every
# process in each host's pid namespace, in KiB, as lines "pidns-link total".

memory_by_pid_namespace() {
    # find complains of processes that end while it reads /proc: what it printed is enough.
    { find /proc -mindepth 3 -maxdepth 3 -path '/proc/[0-9]*/ns/pid' -printf '%h %l\n' 2>/dev/null || true; } |
        awk '{ dir = $1; sub(/\/ns$/, "", dir); f = dir "/smaps_rollup"
               while ((getline line < f) > 0) if (line ~ /^Pss:/) { split(line, a, " "); total[$2] += a[2] }
               close(f) }
             END { for (ns in total) print ns, total[ns] }'
}

cmd_status() {
    local host pid ns kib all=0 memory
    memory=$(memory_by_pid_namespace)
    for host in switch "${HOSTS[@]}"; do
        pid=$(host_pid "$host")
        ns=$(readlink "/proc/$pid/ns/pid")
        kib=$(awk -v ns="$ns" '$1 == ns { print $2 }' <<<"$memory")
        all=$((all + ${kib:-0}))
        printf '%-8s pid %-7s PSS %4d MiB  ' "$host" "$pid" $((${kib:-0} / 1024))
        nsenter -t "$pid" -p -m ps -eo comm= | sed 's/[[(].*//' | sort | uniq -c | awk '{printf "%s×%s ", $2, $1}'
        echo
    done
    printf 'all hosts PSS %d MiB\n' $((all / 1024))
}

# ---------------------------------------------------------------------------------------------
# check: what the lab must be, compared exactly. Prints "N passed, M failed"; fails on a failure.

CHECK_PASSED=0
CHECK_FAILED=0
expect() {
    local what=$1 expected=$2 actual=$3
    if [[ $actual == "$expected" ]]; then
        CHECK_PASSED=$((CHECK_PASSED + 1))
        printf 'ok    %s\n' "$what"
    else
        CHECK_FAILED=$((CHECK_FAILED + 1))
        printf 'FAIL  %s\n  expected: %s\n  actual:   %s\n' "$what" "${expected//$'\n'/ | }" "${actual//$'\n'/ | }"
    fi
}

# A controller's trusted-domain objects, read from its own database (no network), one line
# each: partner direction type attributes flat name, sorted.
stored_trusts() {
    local host=$1 base
    base="CN=System,DC=${REALM[$1],,}"
    base=${base//./,DC=}
    in_host "$host" ldbsearch -H /var/lib/samba/private/sam.ldb -b "$base" '(objectClass=trustedDomain)' \
        trustPartner trustDirection trustType trustAttributes flatName 2>/dev/null |
        awk '/^trustPartner:/ {p=$2} /^trustDirection:/ {d=$2} /^trustType:/ {t=$2} /^trustAttributes:/ {a=$2}
             /^flatName:/ {f=$2} /^$/ && p {print p, d, t, a, f; p=""}' | sort
}

# The frames the capture holds (DOMAINLAB_CAPTURE=1): 0 when nothing broadcast.
count_broadcast() {
    tcpdump -n -r "$LAB/broadcast.pcap" 2>/dev/null | wc -l
}

cmd_check() {
    local host
    CHECK_PASSED=0
    CHECK_FAILED=0
    expect "the machine has no /etc/samba/smb.conf" "absent" "$([[ -e /etc/samba/smb.conf ]] && echo present || echo absent)"
    expect "no Samba daemon runs in the machine's own pid namespace" "" "$(host_daemons)"
    expect "ALPHA's trusts (partner direction type attributes name)" \
        "beta.test 3 2 8 BETA"$'\n'"gamma.test 1 2 4 GAMMA" "$(stored_trusts alphadc)"
    expect "BETA's trusts" "alpha.test 3 2 8 ALPHA" "$(stored_trusts betadc)"
    expect "GAMMA's trusts" "alpha.test 2 2 4 ALPHA" "$(stored_trusts gammadc)"
    for host in "${MEMBERS[@]}"; do
        expect "$host's trust secret with ${FLAT[$host]}" \
            "checking the trust secret for domain ${FLAT[$host]} via RPC calls succeeded" \
            "$(in_host "$host" wbinfo -t 2>&1)"
    done
    if [[ -e $LAB/broadcast.pcap ]]; then
        expect "no broadcast or multicast frame crossed the bridge" 0 "$(count_broadcast)"
    fi
    printf '%d passed, %d failed\n' "$CHECK_PASSED" "$CHECK_FAILED"
    [[ $CHECK_FAILED == 0 ]]
}

# ---------------------------------------------------------------------------------------------

cmd_up() {
    local tool host
    [[ $(id -u) == 0 ]] || die "the lab needs root"
    [[ ! -e $LAB/hosts ]] || die "$LAB already holds a lab: run down first"
    for tool in unshare nsenter ip samba samba-tool winbindd net dnsmasq ldbsearch; do
        command -v "$tool" >/dev/null || die "$tool is missing: run scripts/setup.sh"
    done
    if [[ ${DOMAINLAB_CAPTURE:-} == 1 ]]; then
        command -v tcpdump >/dev/null || die "tcpdump is missing: run scripts/setup.sh"
    fi
    # tmp: scratch files of the tests, which the hosts must see (their /tmp is their own).
    mkdir -p "$LAB/tmp"
    : >"$LAB/timings"
    local start
    start=$(date +%s.%N)
    stage "namespaces and network"
    setup_network
    start_dns_forwarder
    stage "provision ALPHA, BETA, GAMMA"
    provision_controllers
    stage "start controllers"
    for host in "${CONTROLLERS[@]}"; do in_host "$host" samba -D; done
    for host in "${CONTROLLERS[@]}"; do wait_dc "$host"; done
    stage "trusts"
    create_trusts
    stage "join members"
    for host in "${MEMBERS[@]}"; do join_member "$host"; done
    stage "start members (winbind, smbd)"
    for host in "${MEMBERS[@]}"; do start_member "$host"; done
    stage ""
    printf '%-34s %6.1f s\n' "total" "$(seconds_since "$start")" | tee -a "$LAB/timings" >&2
    cmd_status | tee "$LAB/memory" >&2
}

cmd_down() {
    local dir pid
    shopt -s nullglob
    for dir in "$LAB"/hosts/*/; do
        pid=$(cat "$dir/pid" 2>/dev/null || true)
        # Killing a pid namespace's first process kills every process in that namespace. A pid
        # file from an earlier boot may name a process of the machine by now: the pid is killed
        # only while it is the first process of a pid namespace other than the machine's.
        if [[ -n $pid && -e /proc/$pid ]] &&
            [[ $(readlink "/proc/$pid/ns/pid") != "$(readlink /proc/self/ns/pid)" ]]; then
            kill -KILL "$pid" 2>/dev/null || true
        fi
    done
    # Wait until each namespace's processes are gone (their unshare ended: a zombie counts as
    # gone, since whoever adopted it may reap it late).
    for dir in "$LAB"/hosts/*/; do
        pid=$(cat "$dir/unshare.pid" 2>/dev/null || true)
        [[ -n $pid ]] || continue
        for _ in $(seq 1 100); do
            [[ -e /proc/$pid && $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) != Z ]] || break
            sleep 0.1
        done
    done
    if [[ ${DOMAINLAB_KEEP:-} != 1 ]]; then rm -rf "$LAB"; fi
}

# Why this machine cannot hold a lab, or nothing when it can.
why_no_lab() {
    if [[ $(id -u) != 0 ]]; then
        echo "they need root to make network namespaces"
    elif ! unshare --net --mount --uts --ipc --pid --fork true 2>/dev/null; then
        echo "this machine does not allow new namespaces here"
    elif ! command -v samba-tool >/dev/null; then
        echo "Samba is not installed (run scripts/setup.sh)"
    fi
}

cmd_test() {
    local reason status=0
    reason=$(why_no_lab)
    if [[ -n $reason ]]; then
        echo "domain tests skipped: $reason"
        return 0
    fi
    # A lab already there is someone's: it is neither used nor torn down.
    [[ ! -e $LAB/hosts ]] || die "$LAB already holds a lab: run down first"
    trap cmd_down EXIT
    cmd_up
    cmd_check
    DOMAINLAB_DIR=$LAB DOMAINLAB_SCRIPT=$SELF TMPDIR=$LAB/tmp "$@" || status=$?
    # The tests themselves must have left the lab as whole as they found it.
    cmd_check || status=1
    return "$status"
}

case ${1:-} in
test) shift; cmd_test "$@" ;;
up) cmd_up ;;
down) cmd_down ;;
status) cmd_status ;;
check) cmd_check ;;
member-conf) shift; cmd_member_conf "$@" ;;
daemons) shift; cmd_daemons "$@" ;;
exec) shift; exec_in_host "$@" ;;
shell) in_host "$2" bash -i ;;
hostinit) shift; cmd_hostinit "$@" ;;
*) sed -n '2,25p' "$0" >&2; exit 2 ;;
esac
