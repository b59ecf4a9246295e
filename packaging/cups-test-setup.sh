#!/usr/bin/env bash
# A private CUPS scheduler for the printing tests, with one target queue
# "ParsimoTarget" whose documents land unchanged in a file.
#
#   eval "$(packaging/cups-test-setup.sh start)"   # prints the variables to export
#   packaging/cups-test-setup.sh stop
#
# Needs the Debian package "cups" (cupsd, lpadmin). Run as root (as CI does):
# the scheduler then writes the queue's output file itself. The folder is
# ${PARSIMO_CUPS_DIR:-/tmp/parsimo-cups}; its socket is the CUPS_SERVER.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
dir=${PARSIMO_CUPS_DIR:-/tmp/parsimo-cups}
sock=$dir/cups.sock
queue=ParsimoTarget
output=$dir/out/$queue.pdf

stop() {
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$dir/cupsd.pid"
  fi
}

start() {
  stop
  mkdir -p "$dir"/{spool/tmp,cache,state,log,out,ppd}
  # The scheduler's programs, plus one filter of ours that passes the
  # document through unchanged (the queue's PPD names it).
  rm -rf "$dir/bin"
  mkdir -p "$dir/bin/filter"
  for f in /usr/lib/cups/*; do
    [ "$(basename "$f")" = filter ] || ln -s "$f" "$dir/bin/"
  done
  for f in /usr/lib/cups/filter/*; do ln -s "$f" "$dir/bin/filter/"; done
  printf '#!/bin/sh\nexec cat "${6:--}"\n' >"$dir/bin/filter/parsimo-passthrough"
  chmod 0755 "$dir/bin" "$dir/bin/filter" "$dir/bin/filter/parsimo-passthrough"
  chmod 0755 "$dir" "$dir/out"
  cat >"$dir/cups-files.conf" <<CONF
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerBin $dir/bin
DataDir /usr/share/cups
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
FileDevice Yes
SystemGroup root
CONF
  cat >"$dir/cupsd.conf" <<CONF
Listen $sock
LogLevel ${PARSIMO_CUPS_LOGLEVEL:-warn}
Browsing No
DefaultAuthType None
WebInterface No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  chmod 0644 "$dir/cupsd.conf" "$dir/cups-files.conf"
  /usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
  echo $! >"$dir/cupsd.pid"
  for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.1; done
  if [ ! -S "$sock" ]; then
    echo "cups-test-setup: the scheduler did not start; see $dir/log" >&2
    exit 1
  fi
  /usr/sbin/lpadmin -h "$sock" -p "$queue" -E -v "file://$output" -P "$here/ParsimoTarget.ppd" >&2
  /usr/sbin/cupsenable -h "$sock" "$queue" >&2 || true
  /usr/sbin/cupsaccept -h "$sock" "$queue" >&2 || true
  echo "export CUPS_SERVER='$sock'"
  echo "export PARSIMO_CUPS_QUEUE='$queue'"
  echo "export PARSIMO_CUPS_OUTPUT='$output'"
}

case "${1:-start}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
