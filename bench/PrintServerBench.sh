#!/usr/bin/env bash
# A print server under load: 40 jobs from 8 remote users submitted at once
# through a second scheduler (the office's computers) to the test
# scheduler's shared Parsimo, first to the one queue "Parsimo", then to a
# class of one Parsimo queue per processor. Every job must come out whole on
# a target that keeps each job in a file of its own (named by the job's
# title), with no page of one job in another's output, one statistics row
# each and no working file left. Prints pages per second and the peak memory
# of the service account's processes for both.
#
#   bench/PrintServerBench.sh BUILD_DIR
# Run as root with the test scheduler started (packaging/cups-test-setup.sh).
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
dir=${PARSIMO_CUPS_DIR:-/tmp/parsimo-cups}
port=${PARSIMO_CUPS_PORT:-0}
if [ "$(id -u)" -ne 0 ] || [ -z "${CUPS_SERVER:-}" ] || [ ! -S "$CUPS_SERVER" ] || [ "$port" = 0 ]; then
  echo "needs root and the test scheduler listening on a port (packaging/cups-test-setup.sh start)" >&2
  exit 2
fi
jobs=40
people=8
queues=$(nproc)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$source_dir/packaging/cups-test-setup.sh" add-parsimo "$build_dir" 2>/dev/null || { echo "add-parsimo failed" >&2; exit 1; }
client=$dir-bench-client
work=$(mktemp -d /tmp/parsimo-server-bench.XXXXXX)
chmod 0755 "$work"
cleanup() {
  for n in $(seq 2 "$queues"); do lpadmin -x "Parsimo-$n" 2>/dev/null; done
  lpadmin -x ParsimoOffice 2>/dev/null
  lpadmin -x BenchTarget 2>/dev/null
  lpadmin -x Parsimo 2>/dev/null
  PARSIMO_CUPS_DIR=$client "$source_dir/packaging/cups-test-setup.sh" stop
  rm -rf "$work"
}
trap cleanup EXIT
PARSIMO_CUPS_DIR=$client PARSIMO_CUPS_PORT=0 "$source_dir/packaging/cups-test-setup.sh" start >/dev/null

# The target keeps every job: a backend that files it under its title.
kept=$dir/out/bench
rm -rf "$kept" && mkdir -p "$kept" && chown lp "$kept"
cat >"$dir/bin/backend/keep" <<'KEEP'
#!/bin/sh
[ $# -eq 0 ] && { echo 'direct keep:/ "Keep" "Keeps every job"'; exit 0; }
out="$KEEP_DIR/$(printf %s "$3" | tr -c 'A-Za-z0-9-' _).pdf"
if [ -n "${6:-}" ]; then cat "$6" >"$out"; else cat >"$out"; fi
KEEP
chmod 0755 "$dir/bin/backend/keep"
grep -q "^SetEnv KEEP_DIR" "$dir/cups-files.conf" || echo "SetEnv KEEP_DIR $kept" >>"$dir/cups-files.conf"
lpadmin -x Parsimo 2>/dev/null
kill -HUP "$(cat "$dir/cupsd.pid")"
sleep 2
"$source_dir/packaging/cups-test-setup.sh" add-parsimo "$build_dir" 2>/dev/null
lpadmin -p BenchTarget -E -v keep:/ -P "$source_dir/packaging/ParsimoTarget.ppd" 2>/dev/null
lpadmin -d BenchTarget
for n in $(seq 2 "$queues"); do
  lpadmin -p "Parsimo-$n" -E -v parsimo:/ -P "$source_dir/packaging/ppd/Parsimo.ppd" \
    -o printer-error-policy=abort-job -o printer-op-policy=parsimo-shared -o print-scaling-default=fit 2>/dev/null
done
for q in Parsimo $(seq -f "Parsimo-%g" 2 "$queues"); do
  lpadmin -p "$q" -o printer-is-shared=true -o printer-op-policy=parsimo-shared -c ParsimoOffice
done
lpadmin -p ParsimoOffice -E -o printer-is-shared=true
cupsaccept ParsimoOffice
cupsenable ParsimoOffice

# Job k, of person k mod 8, has 1 + k mod 4 pages, each with a block whose
# height is the person's: a page's darkness tells whose job it came from.
for k in $(seq 0 $((jobs - 1))); do
  person=$((k % people))
  cat >"$work/job-$k.ps" <<PS
%!PS
1 1 $((1 + k % 4)) { pop 0 setgray 72 100 468 $((60 + 70 * person)) rectfill showpage } for
PS
done
chmod 0644 "$work"/*.ps

darkness() {
  pdftoppm -gray -r 20 -f "$2" -l "$2" "$1" "$work/page" && local pgm
  pgm=$(ls "$work"/page*.pgm | head -1)
  tail -c +16 "$pgm" | od -An -tu1 -v | awk '{ for (i = 1; i <= NF; i++) { s += 255 - $i; n++ } } END { print int(s / n) }'
  rm -f "$work"/page*.pgm
}

# Submits every job at once to $1 on the server and waits for all to be kept.
round() {
  local uri=$1 label=$2 start end peak=0 rss
  rm -f "$kept"/*
  rm -rf "$dir/common/QMVK/Parsimo/Parsimo.sdf"*
  lpadmin -x Office -h "$client/cups.sock" 2>/dev/null
  # waitjob=false: the computer hands each job over without waiting for the one before.
  lpadmin -h "$client/cups.sock" -p Office -E -v "$uri?waitjob=false" -m raw 2>/dev/null
  start=$(date +%s.%N)
  for k in $(seq 0 $((jobs - 1))); do
    lp -h "$client/cups.sock" -d Office -U "person$((k % people))@corp.example" -t "bench-$k" \
      -o TonerSaving=50 "$work/job-$k.ps" >/dev/null
  done
  for _ in $(seq 2400); do
    rss=$(ps -u parsimo -o rss= 2>/dev/null | awk '{ s += $1 } END { print s + 0 }')
    [ "$rss" -gt "$peak" ] && peak=$rss
    [ "$(ls "$kept" | wc -l)" -ge "$jobs" ] && [ -z "$(lpstat -W not-completed -o 2>/dev/null)" ] && break
    sleep 0.25
  done
  end=$(date +%s.%N)
  local pages=0 levels=() k person expected got first
  for k in $(seq 0 $((jobs - 1))); do
    person=$((k % people))
    expected=$((1 + k % 4))
    pages=$((pages + expected))
    local file=$kept/bench-$k.pdf
    [ -f "$file" ] || { fail "$label: job $k never printed"; continue; }
    got=$(pdfinfo "$file" 2>/dev/null | awk '/^Pages:/ { print $2 }')
    [ "$got" = "$expected" ] || fail "$label: job $k has $got pages, not $expected"
    first=$(darkness "$file" 1)
    [ -n "${levels[$person]:-}" ] || levels[$person]=$first
    for p in $(seq 1 "$got"); do
      local d
      d=$(darkness "$file" "$p")
      [ $((d - levels[person])) -le 1 ] && [ $((levels[person] - d)) -le 1 ] ||
        fail "$label: page $p of job $k (darkness $d) is not person $person's ($((levels[person])))"
    done
  done
  local rows
  rows=$(sqlite3 -readonly "$dir/common/QMVK/Parsimo/Parsimo.sdf" "SELECT count(*) FROM jobs" 2>/dev/null)
  [ "$rows" = "$jobs" ] || fail "$label: $rows statistics rows, not $jobs"
  local left
  left=$(find "$dir/service" -name '_dk_*' 2>/dev/null | wc -l)
  [ "$left" = 0 ] || fail "$label: $left working files left"
  awk -v l="$label" -v s="$start" -v e="$end" -v p="$pages" -v m="$peak" \
    'BEGIN { printf "%-28s %6d pages %8.1f s %8.2f pages/s   peak memory %6.0f MiB\n", l, p, e - s, p / (e - s), m / 1024 }'
}

echo "$jobs jobs of $people remote people, $(nproc) processors, Ghostscript $(gs --version)"
round "ipp://127.0.0.1:$port/printers/Parsimo" "one queue"
round "ipp://127.0.0.1:$port/classes/ParsimoOffice" "class of $queues queues"
[ $failures -eq 0 ] && echo "every job whole, in its own output, recorded once, nothing left behind"
exit $((failures > 0))
