#!/usr/bin/env bash
# A throwaway PostgreSQL server for the archive tests and benchmarks, from
# Debian's postgresql package: a new cluster in a folder of its own, listening
# on 127.0.0.1 only, on a free port, with no password (trust) for the login
# "archive". The server runs as the package's postgres user when this script
# runs as root, because PostgreSQL refuses to run as root.
#
#   postgres-server.sh start DIR   creates DIR, starts the server, writes
#                                  DIR/connection ("host port user database")
#   postgres-server.sh stop DIR    stops the server started there, by its pid,
#                                  and removes DIR
set -euo pipefail

action=${1:-}
dir=${2:-}
if [[ -z "$action" || -z "$dir" ]]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [[ -z "$bindir" || ! -x "$bindir/initdb" ]]; then
  echo "PostgreSQL is not installed (Debian package postgresql; scripts/setup.sh installs it)" >&2
  exit 1
fi

as_server_user() {
  if [[ $(id -u) -eq 0 ]]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

server_pid() {
  [[ -f "$dir/data/postmaster.pid" ]] && head -n 1 "$dir/data/postmaster.pid"
}

start() {
  stop_quietly
  mkdir -p "$dir"
  # The server user must reach its folder: a temporary one it owns, linked here.
  local data
  data=$(mktemp -d /tmp/vesk-archive-pg.XXXXXX)
  ln -sfn "$data" "$dir/data-root"
  if [[ $(id -u) -eq 0 ]]; then
    chown postgres: "$data"
  fi
  ln -sfn "$data/cluster" "$dir/data"
  as_server_user "$bindir/initdb" -D "$data/cluster" -U archive -A trust -E UTF8 --locale=C \
    --no-sync --no-instructions >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  local port
  for attempt in 1 2 3; do
    port=$(free_port)
    # Durability is the server's own business, not under test here: no fsync.
    if as_server_user "$bindir/pg_ctl" -D "$data/cluster" -l "$data/server.log" -w -t 30 -s \
      -o "-c listen_addresses=127.0.0.1 -p $port -c unix_socket_directories='$data' -c fsync=off -c full_page_writes=off -c synchronous_commit=off" \
      start; then
      echo "127.0.0.1 $port archive postgres" >"$dir/connection"
      echo "PostgreSQL on 127.0.0.1:$port (pid $(server_pid))"
      return 0
    fi
  done
  cat "$data/server.log" >&2
  exit 1
}

stop_quietly() {
  local pid
  pid=$(server_pid || true)
  if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
    # Immediate shutdown: the cluster is thrown away, so no checkpoint first.
    kill -QUIT "$pid"
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      kill -KILL "$pid"
    fi
  fi
  if [[ -L "$dir/data-root" ]]; then
    rm -rf "$(readlink "$dir/data-root")"
  fi
  rm -rf "$dir"
}

case "$action" in
  start) start ;;
  stop) stop_quietly ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
