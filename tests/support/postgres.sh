#!/usr/bin/env bash
# A throw-away PostgreSQL server for the database tests and benchmarks.
#
#   postgres.sh start STATE_FILE   initialise a cluster in a fresh folder under
#                                  /tmp, start it on a Unix socket in that folder
#                                  only (no TCP), and write its settings to
#                                  STATE_FILE as KEY=VALUE lines
#   postgres.sh stop STATE_FILE    stop that server and remove its folder
#
# The cluster has one superuser "kel" (password "kel-secret", scram-sha-256)
# and a database "keldb". PostgreSQL refuses to run as root, so under root the
# server runs as the unprivileged "postgres" account, which owns the folder.
# Durability is switched off: the data is thrown away afterwards anyway.
set -euo pipefail

readonly PG_USER_NAME=kel
readonly PG_PASSWORD=kel-secret
readonly PG_DATABASE=keldb
readonly PG_PORT=5432

pg_bin() {
  local dir
  for dir in /usr/lib/postgresql/*/bin; do
    [ -x "$dir/pg_ctl" ] && { echo "$dir"; return; }
  done
  echo "postgres.sh: no PostgreSQL server installed (Debian package postgresql)" >&2
  exit 1
}

# Runs a command as the account that owns the cluster.
as_owner() {
  if [ "$(id -u)" = 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

start() {
  local state=$1 bin root
  bin=$(pg_bin)
  [ -f "$state" ] && stop "$state"
  root=$(mktemp -d /tmp/kel-pg-XXXXXX)
  # The folder is on record at once, and a start that fails at any step
  # stops what it started: a server that came up slowly or refuses the
  # first connection must not outlive the run.
  mkdir -p "$(dirname "$state")"
  printf 'PG_ROOT=%s\nPG_BIN=%s\n' "$root" "$bin" >"$state"
  trap "[ \$? = 0 ] || stop $(printf %q "$state")" EXIT
  chmod 700 "$root"
  [ "$(id -u)" = 0 ] && chown postgres: "$root"
  as_owner mkdir "$root/data" "$root/socket"
  as_owner sh -c "printf '%s\n' '$PG_PASSWORD' > '$root/pwfile'"

  as_owner "$bin/initdb" -D "$root/data" -U "$PG_USER_NAME" --pwfile="$root/pwfile" \
    --auth-local=scram-sha-256 --auth-host=reject -E UTF8 --locale=C.UTF-8 >"$root/initdb.log" 2>&1 \
    || { cat "$root/initdb.log" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$root/data" -l "$root/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$root/socket' -p $PG_PORT \
        -c fsync=off -c synchronous_commit=off -c full_page_writes=off \
        -c shared_buffers=32MB -c max_connections=40" start >/dev/null \
    || { cat "$root/server.log" >&2; exit 1; }
  PGPASSWORD=$PG_PASSWORD "$bin/psql" -q -h "$root/socket" -p "$PG_PORT" -U "$PG_USER_NAME" \
    -d postgres -c "CREATE DATABASE $PG_DATABASE ENCODING 'UTF8'" >/dev/null

  cat >"$state" <<EOF
PG_ROOT=$root
PG_BIN=$bin
PG_SOCKET_DIR=$root/socket
PG_PORT=$PG_PORT
PG_USER=$PG_USER_NAME
PG_PASSWORD=$PG_PASSWORD
PG_DATABASE=$PG_DATABASE
EOF
  trap - EXIT
}

stop() {
  local state=$1 root bin
  [ -f "$state" ] || return 0
  root=$(sed -n 's/^PG_ROOT=//p' "$state")
  bin=$(sed -n 's/^PG_BIN=//p' "$state")
  rm -f "$state"
  case "$root" in /tmp/kel-pg-*) ;; *) echo "postgres.sh: unexpected folder '$root'" >&2; exit 1 ;; esac
  if [ -f "$root/data/postmaster.pid" ]; then
    as_owner "$bin/pg_ctl" -D "$root/data" -m fast -w -t 60 stop >/dev/null || true
  fi
  rm -rf "$root"
}

case "${1:-}" in
  start) start "${2:?state file}" ;;
  stop) stop "${2:?state file}" ;;
  *) echo "usage: $0 start|stop STATE_FILE" >&2; exit 2 ;;
esac
