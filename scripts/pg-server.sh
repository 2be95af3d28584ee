#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: its own cluster in a folder,
# reachable only through a Unix socket in that folder, with trust auth.
#
#   dir=$(mktemp -d /tmp/quelbarix-pg.XXXXXX)
#   eval "$(bash scripts/pg-server.sh start "$dir")"   # sets QUELBARIX_TEST_PG
#   ctest --preset default
#   bash scripts/pg-server.sh stop "$dir"              # stops it, removes the folder
#
# `start` prints one line, `export QUELBARIX_TEST_PG='...'`, on stdout and
# everything else on stderr, so the eval above only picks up the conninfo.
# Tests connect as postgres, so they may create databases of their own.
set -euo pipefail

usage() {
  echo "usage: $0 start DIR | stop DIR" >&2
  exit 2
}

[ "$#" -eq 2 ] || usage
cmd="$1"
dir="$2"

# pg_config from libpq-dev may name the client folder, which has no initdb.
bindir=""
if command -v pg_config >/dev/null 2>&1; then
  bindir="$(pg_config --bindir 2>/dev/null || true)"
fi
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  bindir=""
  for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    if [ -x "$d/initdb" ]; then bindir="$d"; break; fi
  done
fi
if [ -z "$bindir" ]; then
  echo "pg-server: no PostgreSQL server binaries (initdb) found" >&2
  exit 1
fi

# The server refuses to run as root: use the account Debian's package makes.
as_pg=()
if [ "$(id -u)" -eq 0 ]; then as_pg=(runuser -u postgres --); fi

data="$dir/data"
log="$dir/server.log"

case "$cmd" in
  start)
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
    data="$dir/data"
    log="$dir/server.log"
    if [ -e "$data" ]; then
      echo "pg-server: $data already exists" >&2
      exit 1
    fi
    # stop removes only folders carrying this mark.
    touch "$dir/.quelbarix-pg"
    if [ "${#as_pg[@]}" -gt 0 ]; then
      chown postgres: "$dir"
      if ! runuser -u postgres -- test -x "$dir"; then
        echo "pg-server: user postgres cannot reach $dir (use a folder from mktemp -d under /tmp)" >&2
        exit 1
      fi
    fi
    "${as_pg[@]}" "$bindir/initdb" -D "$data" -U postgres --auth=trust \
      --encoding=UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 || {
      cat "$dir/initdb.log" >&2
      exit 1
    }
    # Socket only: an empty listen_addresses opens no TCP port.
    "${as_pg[@]}" "$bindir/pg_ctl" -D "$data" -l "$log" -w -t 60 \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir'" \
      -o "-c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
      -o "-c max_connections=100" start >&2 || {
      cat "$log" >&2 2>/dev/null || true
      exit 1
    }
    "${as_pg[@]}" "$bindir/psql" -h "$dir" -U postgres -d postgres -X -q \
      -v ON_ERROR_STOP=1 -c "CREATE DATABASE quelbarix_test" >&2
    echo "export QUELBARIX_TEST_PG='host=$dir user=postgres dbname=quelbarix_test'"
    ;;
  stop)
    [ -e "$dir" ] || exit 0
    if [ ! -e "$dir/.quelbarix-pg" ]; then
      echo "pg-server: $dir is not a folder this script started; left alone" >&2
      exit 1
    fi
    if [ -f "$data/postmaster.pid" ]; then
      pid="$(head -n 1 "$data/postmaster.pid")"
      # Fast first; immediate if fast does not finish in time; a kill last,
      # so removing the folder never leaves a server behind.
      "${as_pg[@]}" "$bindir/pg_ctl" -D "$data" -m fast -w -t 20 stop >&2 ||
        "${as_pg[@]}" "$bindir/pg_ctl" -D "$data" -m immediate -w -t 20 stop >&2 ||
        kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -rf -- "$dir"
    ;;
  *)
    usage
    ;;
esac
