#!/usr/bin/env bash
# A private CUPS scheduler for the printing tests, with target queues
# "ParsimoTarget" and "ParsimoTarget2" whose documents land unchanged in a file,
# and "ParsimoDuplex", the same with two-sided printing and two paper trays.
#
#   eval "$(packaging/cups-test-setup.sh start)"   # prints the variables to export
#   packaging/cups-test-setup.sh add-parsimo BUILD_DIR  # the built backend, job processor and queue "Parsimo"
#   packaging/cups-test-setup.sh stop
#
# The backend finds the job processor through the hive $dir/machine.reg and
# the all-users folder below $dir/common (SetEnv of the scheduler). Test users
# parsimo-test1 and parsimo-test2 are made when missing; their own settings
# hives are in their home folders, as for any user. PARSIMO_TEST_USERS names
# other test users, so that two schedulers can run tests side by side.
# Needs the Debian package "cups" (cupsd, lpadmin). Run as root (as CI does):
# the scheduler then writes the queue's output file itself. The folder is
# ${PARSIMO_CUPS_DIR:-/tmp/parsimo-cups}; its socket is the CUPS_SERVER, and it
# also listens on 127.0.0.1:${PARSIMO_CUPS_PORT:-18631} (0: not at all).
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
  # A fresh scheduler every time: the tests count the jobs each queue
  # completed, and an old history (which the scheduler trims at MaxJobs)
  # would hide new ones; the statistics start empty too.
  rm -rf "$dir"/{spool,cache,state,log,ppd,common,printers.conf*,classes.conf*,subscriptions.conf*}
  mkdir -p "$dir"/{spool/tmp,cache,state,log,out,ppd}
  # The scheduler's programs, plus one filter of ours that passes the
  # document through unchanged (the queue's PPD names it).
  rm -rf "$dir/bin"
  mkdir -p "$dir/bin/filter"
  # The backend folder is our own, so the built backend can join the system's.
  mkdir -p "$dir/bin/backend"
  for f in /usr/lib/cups/*; do
    case "$(basename "$f")" in filter | backend) ;; *) ln -s "$f" "$dir/bin/" ;; esac
  done
  for f in /usr/lib/cups/filter/*; do ln -s "$f" "$dir/bin/filter/"; done
  for f in /usr/lib/cups/backend/*; do ln -s "$f" "$dir/bin/backend/"; done
  chmod 0755 "$dir/bin/backend"
  # The all-users folder is root's, as the package makes it: only the
  # backend writes the statistics there.
  mkdir -p "$dir/common/QMVK/Parsimo" "$dir/install"
  chmod 0755 "$dir/common" "$dir/common/QMVK" "$dir/common/QMVK/Parsimo" "$dir/install"
  # The test users are people (a login shell) whom the scheduler authenticates.
  for user in $test_users; do
    id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$user"
    usermod --shell /bin/sh "$user" >/dev/null 2>&1
  done
  # The service account, with its per-name folders here instead of /var/lib/parsimo.
  id parsimo >/dev/null 2>&1 ||
    useradd --system --user-group --home-dir /var/lib/parsimo --no-create-home --shell /usr/sbin/nologin parsimo
  rm -rf "$dir/service" && install -d -m 0700 -o parsimo -g parsimo "$dir/service"
  printf '#!/bin/sh\nexec cat "${6:--}"\n' >"$dir/bin/filter/parsimo-passthrough"
  chmod 0755 "$dir/bin" "$dir/bin/filter" "$dir/bin/filter/parsimo-passthrough"
  chmod 0755 "$dir" "$dir/out"
  # The desktop's viewer of saved files: it notes who was shown which file.
  rm -rf "$dir/opened" && install -d -m 1777 "$dir/opened" && install -m 0666 /dev/null "$dir/opened/log"
  printf '#!/bin/sh\necho "$(id -un) $1" >>"%s/opened/log"\n' "$dir" >"$dir/bin/record-open"
  chmod 0755 "$dir/bin/record-open"
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
SetEnv TESSEL_HKLM $dir/machine.reg
SetEnv TESSEL_COMMON_APPDATA $dir/common
SetEnv PARSIMO_SERVICE_HOME $dir/service
SetEnv TESSEL_OPENER $dir/bin/record-open
CONF
  cat >"$dir/cupsd.conf" <<CONF
Listen $sock
$([ "$port" = 0 ] || echo "Listen 127.0.0.1:$port")
LogLevel ${PARSIMO_CUPS_LOGLEVEL:-warn}
MaxJobs 0
Browsing No
DefaultAuthType Basic
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
$(cat "$here/parsimo-policy.conf")
CONF
  chmod 0644 "$dir/cupsd.conf" "$dir/cups-files.conf"
  /usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
  echo $! >"$dir/cupsd.pid"
  for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.1; done
  if [ ! -S "$sock" ]; then
    echo "cups-test-setup: the scheduler did not start; see $dir/log" >&2
    exit 1
  fi
  for q in "$queue" "${queue}2"; do
    /usr/sbin/lpadmin -h "$sock" -p "$q" -E -v "file://$dir/out/$q.pdf" -P "$here/ParsimoTarget.ppd" >&2
    /usr/sbin/cupsenable -h "$sock" "$q" >&2 || true
    /usr/sbin/cupsaccept -h "$sock" "$q" >&2 || true
  done
  # A copy of the target's PPD that also offers duplex and a second tray.
  { cat "$here/ParsimoTarget.ppd"
    printf '%s\n' '*OpenUI *Duplex/Two-Sided: PickOne' '*DefaultDuplex: None' \
      '*Duplex None/Off: "<</Duplex false>>setpagedevice"' \
      '*Duplex DuplexNoTumble/Long Edge: "<</Duplex true/Tumble false>>setpagedevice"' \
      '*Duplex DuplexTumble/Short Edge: "<</Duplex true/Tumble true>>setpagedevice"' '*CloseUI: *Duplex' \
      '*OpenUI *InputSlot/Paper Source: PickOne' '*DefaultInputSlot: Tray1' \
      '*InputSlot Tray1/Tray 1: "<</MediaPosition 0>>setpagedevice"' \
      '*InputSlot Tray2/Tray 2: "<</MediaPosition 1>>setpagedevice"' '*CloseUI: *InputSlot'
  } >"$dir/ppd/ParsimoDuplex.ppd"
  /usr/sbin/lpadmin -h "$sock" -p ParsimoDuplex -E -v "file://$dir/out/ParsimoDuplex.pdf" -P "$dir/ppd/ParsimoDuplex.ppd" >&2
  echo "export CUPS_SERVER='$sock'"
  echo "export PARSIMO_CUPS_PORT='$port'"
  echo "export PARSIMO_TEST_USERS='$test_users'"
  echo "export PARSIMO_CUPS_QUEUE='$queue'"
  echo "export PARSIMO_CUPS_OUTPUT='$output'"
}

# The built backend (root's, mode 0700: the scheduler then runs it as root),
# the job processor and the libraries and programs beside it in an
# installation folder every user may read, and the queue "Parsimo".
add_parsimo() {
  local build=${1:?usage: $0 add-parsimo BUILD_DIR}
  [ -S "$sock" ] || { echo "cups-test-setup: no scheduler at $sock" >&2; exit 1; }
  install -m 0700 -o root -g root "$build/backend/parsimo" "$dir/bin/backend/parsimo"
  rm -rf "$dir/install" && mkdir -p "$dir/install" && chmod 0755 "$dir/install"
  install -m 0755 "$build/Dravik/Dravik" "$dir/install/"
  find "$build" -maxdepth 2 \( -name 'lib*.so' -o -name Parsimo -o -name ParsimoGtk \) -type f -exec install -m 0755 {} "$dir/install/" \;
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo]\n"InstallDir"="%s/"\n"ProductVersion"="test"\n' \
    "$dir/install" >"$dir/machine.reg"
  chmod 0644 "$dir/machine.reg"
  /usr/sbin/lpadmin -h "$sock" -p Parsimo -E -v parsimo:/ -P "$here/ppd/Parsimo.ppd" \
    -o printer-error-policy=abort-job -o printer-op-policy=parsimo -o print-scaling-default=fit >&2
}

test_users=${PARSIMO_TEST_USERS:-parsimo-test1 parsimo-test2}
# The loopback port that other computers' jobs come in on (a second scheduler
# plays the client); 0: the socket only.
port=${PARSIMO_CUPS_PORT:-18631}
case "${1:-start}" in
  start) start ;;
  add-parsimo) add_parsimo "${2:-}" ;;
  stop) stop ;;
  *) echo "usage: $0 start|add-parsimo BUILD_DIR|stop" >&2; exit 2 ;;
esac
