#!/usr/bin/env bash
# Throw-away PostgreSQL server for the database tests.
#
#   pgserver.sh start DIR   initdb a cluster in a fresh temporary folder, start
#                           it on a free loopback port, create CorvoxDb from
#                           corvoxdb.sql, register psqlODBC as "SQL Server" in
#                           DIR/odbcinst.ini and write the client settings to
#                           DIR/env
#   pgserver.sh stop DIR    stop that server and remove both folders
#
# The cluster lives under the system's temporary folder, not in DIR, because
# the server's own user may not be allowed into the build tree.
#
# Every step is bounded by a time-out so that a broken installation fails
# the tests instead of hanging them.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?start or stop}
dir=${2:?folder}

pgbin=${PGBIN:-}
if [ -z "$pgbin" ]; then
    for v in 17 16 15 14 13; do
        if [ -x "/usr/lib/postgresql/$v/bin/initdb" ]; then
            pgbin=/usr/lib/postgresql/$v/bin
            break
        fi
    done
fi
[ -n "$pgbin" ] || { echo "pgserver.sh: no PostgreSQL server binaries found" >&2; exit 1; }

driver=${PSQLODBC_DRIVER:-/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so}

# PostgreSQL refuses to run as root.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

stop_server() {
    local cluster
    cluster=$(cat "$dir/cluster" 2>/dev/null || true)
    [ -n "$cluster" ] || return 0
    if [ -f "$cluster/data/postmaster.pid" ]; then
        as_owner timeout 30 "$pgbin/pg_ctl" -D "$cluster/data" -m immediate -w -t 20 stop \
            >/dev/null 2>&1 || true
        # pg_ctl gave up: end the postmaster ourselves, by its own pid.
        if [ -f "$cluster/data/postmaster.pid" ]; then
            pid=$(head -n 1 "$cluster/data/postmaster.pid" || true)
            [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
        fi
    fi
    case "$cluster" in
    */brevita-pg.*) rm -rf "$cluster" ;;
    esac
    rm -f "$dir/cluster"
}

free_port() {
    python3 - <<'EOF' 2>/dev/null || echo $((20000 + RANDOM % 20000))
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()
EOF
}

case "$cmd" in
start)
    stop_server
    rm -rf "$dir"
    mkdir -p "$dir"
    cluster=$(mktemp -d "${TMPDIR:-/tmp}/brevita-pg.XXXXXX")
    echo "$cluster" >"$dir/cluster"
    mkdir -p "$cluster/data" "$cluster/run"
    if [ "$(id -u)" -eq 0 ]; then
        chown -R postgres: "$cluster"
    fi
    [ -r "$driver" ] || { echo "pgserver.sh: psqlODBC driver $driver missing" >&2; exit 1; }

    as_owner timeout 120 "$pgbin/initdb" -D "$cluster/data" -U postgres -A trust -E UTF8 \
        --no-locale >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; stop_server; exit 1; }

    started=no
    for attempt in 1 2 3 4 5; do
        port=$(free_port)
        if as_owner timeout 60 "$pgbin/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" \
            -w -t 30 -o "-p $port -k $cluster/run -c listen_addresses=127.0.0.1 -c fsync=off" start \
            >/dev/null 2>&1; then
            started=yes
            break
        fi
    done
    [ "$started" = yes ] || { cat "$cluster/server.log" >&2 2>/dev/null; stop_server; exit 1; }

    export PGHOST=127.0.0.1 PGPORT=$port PGUSER=postgres PGCONNECT_TIMEOUT=10
    psql_q() { timeout 60 psql -X -q -v ON_ERROR_STOP=1 "$@"; }
    psql_q -d postgres -c 'CREATE DATABASE "CorvoxDb"' ||
        { stop_server; exit 1; }
    psql_q -d CorvoxDb -f "$here/corvoxdb.sql" >/dev/null ||
        { stop_server; exit 1; }

    cat >"$dir/odbcinst.ini" <<EOF
[SQL Server]
Description=PostgreSQL test server
Driver=$driver
EOF
    : >"$dir/odbc.ini"
    cat >"$dir/env" <<EOF
ODBCSYSINI=$dir
ODBCINI=$dir/odbc.ini
PGHOST=127.0.0.1
PGPORT=$port
PGUSER=postgres
EOF
    echo "$port"
    ;;
stop)
    stop_server
    rm -rf "$dir"
    ;;
*)
    echo "pgserver.sh: unknown command $cmd" >&2
    exit 2
    ;;
esac
