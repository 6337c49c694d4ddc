#!/usr/bin/env bash
# Shows the tools at work on this machine, with nothing sent anywhere. keepctl runs through the
# real ODBC driver against the project's TDS server on 127.0.0.1 (it answers as its rules say and
# writes what it received to a transcript): it creates the quarantine database from its embedded
# script, reports its version, backs it up, and shows the trace logs that a registry file asked
# for. keepctl then finds the SQL Server instances that the registry file says are installed here,
# those that a SQL Server Browser on 127.0.0.1 answers for, and those of a Pacemaker cluster that
# a CIB file describes; realmscan looks for the domain's trusts. Then vaultdump extracts a folder
# of quarantine files, and vaultfeed imports one in the terminal through the substitute product
# service on a private bus of the demo's own (the machine's session and system buses are never
# used).
set -euo pipefail
cd "$(dirname "$0")/.."
# Server browses ask this machine only, at a port nobody serves, unless a step says otherwise:
# nothing here may reach, or broadcast to, the networks around it.
export VESTREL_BROWSE_TARGETS=127.0.0.1:9

cmake --preset build >/dev/null
cmake --build --preset build >/dev/null

source tools/velmorasvc/private-service.sh
demo=$(mktemp -d)
responder=
tds=
trap '[ -z "$responder" ] || kill "$responder" 2>/dev/null; [ -z "$tds" ] || kill "$tds" 2>/dev/null
      stop_private_service; rm -rf "$demo"' EXIT
step() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }

cat >"$demo/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keepctl]
"Info"="keepctl demo trace"
"TraceFileName"="$demo/logs/keepctl"
"WantIndent"=dword:00000001
"OutputToDebugger"=dword:00000000

[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]
"Info"="keeplib demo trace"
"TraceFileName"="$demo/logs/keeplib"
"WantIndent"=dword:00000001
"OutputToDebugger"=dword:00000000

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\Instance Names\\SQL]
"SQLEXPRESS"="MSSQL.1"
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL.1]
@="SQLEXPRESS"
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL.1\\MSSQLServer\\CurrentVersion]
"CurrentVersion"="9.00.1399.06"
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\SQLEXPRESS\\MSSQLServer\\CurrentVersion]
"CurrentVersion"="9.00.1399.06"
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\VELMORA]
@="VELMORA"
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\VELMORA\\MSSQLServer\\CurrentVersion]
"CurrentVersion"="10.50.1600.1"
REG
export VESTREL_REGISTRY_FILE="$demo/registry.reg"

# The SQL Server of each step: the TDS server with that step's rules. The quarantine database does
# not exist yet; once created it reports 1.1; the automatic backup file is younger than its
# retention days. The login is a SQL login whose password keepctl takes from VESTREL_PASSWORD.
export VESTREL_PASSWORD=Demo-Passw0rd
server() {
    [ -z "$tds" ] || kill "$tds" 2>/dev/null
    printf 'login|sa|%s\n%s\n' "$VESTREL_PASSWORD" "$1" >"$demo/server.rules"
    build/bin/tdsserver --rules "$demo/server.rules" --transcript "$demo/transcript" >"$demo/tds.txt" &
    tds=$!
    until grep -q '^127\.0\.0\.1,[0-9]*$' "$demo/tds.txt" 2>/dev/null; do sleep 0.05; done
    sql=$(cat "$demo/tds.txt")
}
sent() { grep -E '^#[0-9]+ (login|sql|rpc)' "$demo/transcript" | cut -c1-110; }

server "sql|SELECT name FROM master.dbo.sysdatabases|rows|name"
step keepctl SETUP QUAR -s "$sql" -u sa
status=0
build/bin/keepctl SETUP QUAR -s "$sql" -u sa >"$demo/usage.txt" || status=$?
head -n 4 "$demo/usage.txt"
echo "   ... (the usage text; exit status $status)"

step keepctl SETUP QUAR -s "$sql" -u sa -a "'CORP\svc-velmora'"
build/bin/keepctl SETUP QUAR -s "$sql" -u sa -a 'CORP\svc-velmora'
echo "-- what the server received ($(grep -c '^#[0-9]* sql' "$demo/transcript") batches):"
sent | head -n 8
echo "   ..."
sent | tail -n 4

server "sql|SELECT name FROM dbo.sysobjects|rows|name|BSTR:SPQuarVersion
rpc|[dbo].[SPQuarVersion]|out|I4:0,I4:1,I4:1,DATE:2009-09-18 09:00:00"
step keepctl VERSION QUAR -s "$sql" -u sa
build/bin/keepctl VERSION QUAR -s "$sql" -u sa

server "sql|SELECT name FROM master.dbo.sysdatabases|rows|name|BSTR:KorvoQuar
sql|BACKUP DATABASE|error|4208|The backup set cannot be overwritten."
step keepctl BACKUP QUAR -s "$sql" -u sa
build/bin/keepctl BACKUP QUAR -s "$sql" -u sa || echo "(exit status $?)"
sent

step "tail -n 4 keeplib-<pid>-<time>.log (the library's trace of the backup)"
tail -n 4 "$(ls -t "$demo"/logs/keeplib-*.log | head -n 1)"
kill "$tds"
tds=

# A network of three SQL Server computers, answering on a port of this machine only.
build/bin/browseresponder -i 30 'SQL01' 'SQL01\SALES' 'SQL02\HR' >"$demo/responder.txt" &
responder=$!
until grep -q listening "$demo/responder.txt" 2>/dev/null; do sleep 0.05; done
export VESTREL_BROWSE_TARGETS="$(sed 's/^listening on //' "$demo/responder.txt")"
step keepctl BROWSESQLSERVERS
build/bin/keepctl BROWSESQLSERVERS
step keepctl LOCALSQLSERVERTYPE SQLEXPRESS
build/bin/keepctl LOCALSQLSERVERTYPE SQLEXPRESS || echo "(exit status $?: installed on this computer)"
step keepctl VALIDATESQLSERVERNAME -s "'(local)\\SQLEXPRESS;SQL01'" -t 3
build/bin/keepctl VALIDATESQLSERVERNAME -s '(local)\SQLEXPRESS;SQL01' -t 3
step keepctl VALIDATESQLSERVERNAME -s SQL01 -t 2
build/bin/keepctl VALIDATESQLSERVERNAME -s SQL01 -t 2 || echo "(exit status $?: SQL01 is not this computer)"

# This computer as a node of a Pacemaker cluster: Pacemaker's own cibadmin reads the cluster's
# configuration from the file CIB_file names, so no cluster needs to run. The cluster has two SQL
# Server failover cluster instances (ocf:mssql:fci, named by their virtual server names), an
# availability group (no failover instance) and the product's clustered service.
node=$(uname -n)
cat >"$demo/cib.xml" <<CIB
<cib crm_feature_set="3.16.1" validate-with="pacemaker-3.9" epoch="1" num_updates="0" admin_epoch="0">
  <configuration>
    <crm_config>
      <cluster_property_set id="cib-bootstrap-options">
        <nvpair id="cib-bootstrap-options-cluster-name" name="cluster-name" value="mailcluster"/>
        <nvpair id="cib-bootstrap-options-stonith-enabled" name="stonith-enabled" value="false"/>
      </cluster_property_set>
    </crm_config>
    <nodes>
      <node id="1" uname="$node"/>
      <node id="2" uname="node2"/>
    </nodes>
    <resources>
      <group id="rg-sales">
        <primitive id="SQLSALES" class="ocf" provider="mssql" type="fci"/>
        <primitive id="SQLSALES-ip" class="ocf" provider="heartbeat" type="IPaddr2">
          <instance_attributes id="SQLSALES-ip-attributes">
            <nvpair id="SQLSALES-ip-attributes-ip" name="ip" value="192.0.2.10"/>
          </instance_attributes>
        </primitive>
      </group>
      <primitive id="SQLHR" class="ocf" provider="mssql" type="fci"/>
      <clone id="ag1-clone">
        <primitive id="ag1" class="ocf" provider="mssql" type="ag"/>
      </clone>
      <primitive id="velmora-svc" class="ocf" provider="vestrel" type="velmora">
        <instance_attributes id="velmora-svc-attributes">
          <nvpair id="velmora-svc-attributes-NetworkName" name="NetworkName" value="MAILNODE"/>
        </instance_attributes>
      </primitive>
    </resources>
    <constraints/>
  </configuration>
</cib>
CIB
export CIB_file="$demo/cib.xml"
step "CIB_file=cib.xml keepctl BROWSESQLSERVERS -t 4   # this computer ($node) is a node"
build/bin/keepctl BROWSESQLSERVERS -t 4
step "CIB_file=cib.xml keepctl VALIDATESQLSERVERNAME -s 'SQLSALES\\REPORTS' -t 4"
build/bin/keepctl VALIDATESQLSERVERNAME -s 'SQLSALES\REPORTS' -t 4
step "CIB_file=cib.xml keepctl VALIDATESQLSERVERNAME -s node2 -t 4"
build/bin/keepctl VALIDATESQLSERVERNAME -s node2 -t 4 || echo "(exit status $?: a node's name is no network name of the cluster)"
unset CIB_file

step realmscan
build/bin/realmscan || echo "(exit status $?: this computer is joined to no domain)"

samples/quarantine/make-demo-folder.sh build/bin/quarwriter "$demo/quarantine" >/dev/null
step vaultdump quarantine
build/bin/vaultdump "$demo/quarantine" | sed "s|$demo/||g"

# The product's service, substituted: the service on a private bus, serving a quarantine folder and
# recording the imports in a SQLite database.
step velmorasvc velmora/service.conf
start_private_service build "$demo/velmora"
echo "$private_service_line" | sed "s|$demo/||g"

# As the product's setup runs it, in the terminal: no display is offered, whatever this one has.
samples/quarantine/make-demo-folder.sh build/bin/quarwriter "$demo/import" >/dev/null
for run in first second; do
    step vaultfeed import "  # the $run run"
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM build/bin/vaultfeed "$demo/import" || status=$?
    echo "(exit status $status)"
done
step ls velmora/quarantine
ls "$demo/velmora/quarantine"
