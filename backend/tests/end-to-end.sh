#!/usr/bin/env bash
# Jobs through a private scheduler (packaging/cups-test-setup.sh) into the
# built backend, the job processor and out of the target queues.
#   end-to-end.sh SOURCE_DIR BUILD_DIR print|cancel|saving|server|trust|request|errors
# Needs root, the scheduler's variables (CUPS_SERVER, PARSIMO_CUPS_DIR when
# not the default) and its test users; skipped (77) without them.
set -uo pipefail
source_dir=$1
build_dir=$2
part=${3:-print}
dir=${PARSIMO_CUPS_DIR:-/tmp/parsimo-cups}
users=${PARSIMO_TEST_USERS:-}
if [ "$(id -u)" -ne 0 ] || [ -z "${CUPS_SERVER:-}" ] || [ ! -S "$CUPS_SERVER" ] || [ -z "$users" ]; then
  echo "SKIP: needs root and the test scheduler (packaging/cups-test-setup.sh start)"
  exit 77
fi
read -r user1 user2 _ <<<"$users"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

"$source_dir/packaging/cups-test-setup.sh" add-parsimo "$build_dir" 2>/dev/null || { echo "FAIL: add-parsimo"; exit 1; }

work=$(mktemp -d /tmp/parsimo-e2e.XXXXXX)
# The queue (and the default destination it may become) goes again, so the
# tests that follow on this scheduler see it as they found it.
trap 'rm -rf "$work"; lpadmin -x Parsimo 2>/dev/null' EXIT
chmod 0755 "$work"
cat >"$work/five.ps" <<'PS'
%!PS
/Helvetica-Bold findfont 72 scalefont setfont
1 1 5 { /n exch def 0 setgray 72 300 468 300 rectfill 72 650 moveto (Page ) show n 3 string cvs show showpage } for
PS
gs -q -dSAFER -sDEVICE=pdfwrite -o "$work/three.pdf" -c \
  "/Helvetica-Bold findfont 72 scalefont setfont 1 1 3 { 0 setgray 72 300 468 300 rectfill showpage pop } for"
# A job long enough to be cancelled while it renders.
cat >"$work/long.ps" <<'PS'
%!PS
1 1 400 { pop 0 1 50 { 10 mul 72 add 100 exch 400 10 rectfill } for showpage } for
PS
chmod 0644 "$work"/*

home_of() { getent passwd "$1" | cut -d: -f6; }
data_dir() { echo "$(home_of "$1")/.local/share/QMVK/Parsimo"; }

# Each user's own settings: their target queue, no dialog, half the toner.
# A third argument sets another saving (percent), "none" stores no saving at all.
settings() {
  local user=$1 target=$2 saving=${3:-50} home line
  home=$(home_of "$user")
  line=$([ "$saving" = none ] || printf '"SavingsPercentage"=dword:%08x' "$saving")
  rm -rf "$home/.config/tessel" "$home/.local/share/QMVK"
  runuser -u "$user" -- sh -c "mkdir -p '$home/.config/tessel' && cat >'$home/.config/tessel/user.reg'" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]
"TargetPrinterName"="$target"
"ShowDialog"=dword:00000000
$line
REG
}

completed() { lpstat -W completed -o "$1" 2>/dev/null | grep -c "^$1-" ; }
not_completed() { lpstat -W not-completed -o 2>/dev/null | grep -c . ; }
# Waits until nothing is queued any more (at most $1 seconds).
settle() {
  for _ in $(seq $(($1 * 4))); do
    [ "$(not_completed)" -eq 0 ] && return 0
    sleep 0.25
  done
  return 1
}
submit() { runuser -u "$1" -- lp -d Parsimo "${@:2}" | sed -n 's/^request id is Parsimo-\([0-9]*\).*/\1/p'; }

# The page's mean darkness at 20 dpi, 0 (white) to 255.
darkness() {
  pdftoppm -gray -r 20 -f 1 -l 1 "$1" "$work/page" && local pgm
  pgm=$(ls "$work"/page*.pgm | head -1)
  tail -c +16 "$pgm" | od -An -tu1 -v | awk '{ for (i = 1; i <= NF; i++) { s += 255 - $i; n++ } } END { print int(s / n) }'
  rm -f "$work"/page*.pgm
}

check_print() {
  local user=$1 file=$2 pages=$3 target=$4 before id out
  before=$(completed "$target")
  id=$(submit "$user" "$file")
  [ -n "$id" ] || { fail "$user could not submit $file"; return; }
  settle 120 || fail "job $id of $user did not finish"
  out=$dir/out/$target.pdf
  [ "$(completed "$target")" -eq $((before + 1)) ] || fail "$file: not one document on $target"
  [ "$(pdfinfo "$out" 2>/dev/null | awk '/^Pages:/ { print $2 }')" = "$pages" ] || fail "$file: not $pages pages"
  local reference=$file
  [ "${file%.ps}" != "$file" ] && { gs -q -dSAFER -sDEVICE=pdfwrite -o "$work/ref.pdf" "$file"; reference=$work/ref.pdf; }
  local original lightened
  original=$(darkness "$reference")
  lightened=$(darkness "$out")
  [ "$lightened" -gt 0 ] && [ $((lightened * 10)) -lt $((original * 8)) ] ||
    fail "$file: page not lightened (darkness $lightened of $original)"
  local hive
  hive=$(home_of "$user")/.config/tessel/user.reg
  grep -q "^\"JobID\"=dword:$(printf %08x "$id")" "$hive" || fail "$file: no job record in $user's hive"
  [ "$(stat -c %U "$hive" "$(data_dir "$user")" | sort -u)" = "$user" ] || fail "$user's hive or data folder is not theirs"
  pass "$user printed $(basename "$file"): $pages pages, darkness $lightened of $original"
}

# Prints three.pdf as user $1 with options $3...; passes when the output keeps
# $2 % of the black of the page printed without saving (within 5 %).
expect_kept() {
  local user=$1 kept=$2
  shift 2
  kept_by "$user ${*:-(no option)}" "$kept" runuser -u "$user" -- lp -d Parsimo "$@" "$work/three.pdf"
}
# Runs the command $3... that prints three.pdf somehow, waits for one more
# document on the target and checks that it keeps $2 % of the black.
kept_by() {
  local label=$1 kept=$2 before got want
  shift 2
  before=$(completed ParsimoTarget)
  "$@" >/dev/null || { fail "$label: could not submit"; return; }
  for _ in $(seq 480); do [ "$(completed ParsimoTarget)" -gt "$before" ] && break; sleep 0.25; done
  settle 60
  [ "$(completed ParsimoTarget)" -eq $((before + 1)) ] || { fail "$label: nothing printed"; return; }
  got=$(darkness "$dir/out/ParsimoTarget.pdf")
  want=$((original * kept / 100))
  if [ $((got - want)) -le $((original / 20 + 1)) ] && [ $((want - got)) -le $((original / 20 + 1)) ]; then
    pass "$label: $kept % of the black kept (darkness $got of $original)"
  else
    fail "$label: darkness $got where $want ($kept % of $original) was due"
  fi
}
# The darkness of three.pdf printed without saving, which the others are measured by.
measure_original() {
  original=1000
  runuser -u "$user1" -- lp -d Parsimo -o TonerSaving=Off "$work/three.pdf" >/dev/null
  settle 120
  original=$(darkness "$dir/out/ParsimoTarget.pdf")
}
settings "$user1" ParsimoTarget
settings "$user2" ParsimoTarget2
if [ "$part" = print ]; then
# A printed job leaves no error in the scheduler's log.
errors_before=$(grep -c '^E' "$dir/log/error_log")
check_print "$user1" "$work/five.ps" 5 ParsimoTarget
[ "$(grep -c '^E' "$dir/log/error_log")" -eq "$errors_before" ] ||
  fail "a printed job logged: $(grep '^E' "$dir/log/error_log" | tail -n +$((errors_before + 1)))"

# No target chosen: the scheduler's default destination, unless that is the
# virtual printer itself, which stops the job with the target printer message.
settings "$user2" ""
lpadmin -d ParsimoTarget2 2>/dev/null
check_print "$user2" "$work/three.pdf" 3 ParsimoTarget2
lpadmin -d Parsimo 2>/dev/null
before=$(completed ParsimoTarget2)
submit "$user2" "$work/three.pdf" >/dev/null
settle 60
grep -q 'No target printer is chosen, and the default printer (Parsimo) cannot be used' "$dir/log/error_log" &&
  [ "$(completed ParsimoTarget2)" -eq "$before" ] &&
  pass "default destination Parsimo refused" || fail "no target printer ERROR line when the default is Parsimo"
lpadmin -d ParsimoTarget 2>/dev/null
settings "$user2" ParsimoTarget2

# Two users at once: both print whole.
before1=$(completed ParsimoTarget)
before2=$(completed ParsimoTarget2)
submit "$user1" "$work/five.ps" >/dev/null
submit "$user2" "$work/three.pdf" >/dev/null
settle 180 || fail "two users' jobs did not finish"
[ "$(completed ParsimoTarget)" -eq $((before1 + 1)) ] && [ "$(completed ParsimoTarget2)" -eq $((before2 + 1)) ] &&
  [ "$(pdfinfo "$dir/out/ParsimoTarget.pdf" | awk '/^Pages:/ { print $2 }')" = 5 ] &&
  [ "$(pdfinfo "$dir/out/ParsimoTarget2.pdf" | awk '/^Pages:/ { print $2 }')" = 3 ] &&
  pass "two users' jobs printed whole" || fail "two users' jobs"

# Saved as PDF: the file is the user's, in their documents folder under the
# document's name, shown to them (naming and not replacing are the unit tests').
settings "$user1" ParsimoTarget
printf '"PrintOutFormat"="PDF"\n' | runuser -u "$user1" -- sh -c "cat >>'$(home_of "$user1")/.config/tessel/user.reg'"
saved=$(home_of "$user1")/Documents/Parsimo
rm -rf "$saved"
: >"$dir/opened/log"
before=$(completed ParsimoTarget)
submit "$user1" -t "Quarterly report" "$work/three.pdf" >/dev/null
settle 120 || fail "the PDF job did not finish"
[ "$(find "$saved" -name 'Quarterly report.pdf' -user "$user1")" = "$saved/Quarterly report.pdf" ] &&
  [ "$(completed ParsimoTarget)" -eq "$before" ] && [ "$(cat "$dir/opened/log")" = "$user1 $saved/Quarterly report.pdf" ] &&
  pass "the PDF job left a file of $user1's, opened for them" ||
  fail "the PDF job left $(ls "$saved" 2>/dev/null | tr '\n' '|'), opened: $(tr '\n' '|' <"$dir/opened/log")"
fi

if [ "$part" = cancel ]; then
# Cancel while the job renders: nothing printed, nothing left behind.
# Relies on the job processor stopping cleanly on SIGTERM.
# The target's job, if one was started, is cancelled too (lpstat lists it
# among the completed ones): what counts is that its output never changes.
before=$(cksum <"$dir/out/ParsimoTarget.pdf" 2>/dev/null)
id=$(submit "$user1" "$work/long.ps")
for _ in $(seq 120); do pgrep -u "$user1" -x gs >/dev/null && break; sleep 0.25; done
pgrep -u "$user1" -x gs >/dev/null || fail "cancel: Ghostscript never ran"
sleep 1
cancel "Parsimo-$id"
settle 40 || fail "cancel: job still queued"
# The scheduler lists the job as cancelled at once; the processes clean up
# after it (slowly under the sanitizers), at most the backend's grace.
for _ in $(seq 120); do pgrep -u "$user1" -x 'Dravik|gs' >/dev/null || break; sleep 0.25; done
sleep 1
pgrep -u "$user1" -x gs >/dev/null && fail "cancel: Ghostscript still running"
pgrep -u "$user1" -x Dravik >/dev/null && fail "cancel: Dravik still running"
ls "$(data_dir "$user1")" | grep -q '^_dk_' && fail "cancel: page files left: $(ls "$(data_dir "$user1")" | tr "\n" " ")"
[ "$(cksum <"$dir/out/ParsimoTarget.pdf" 2>/dev/null)" = "$before" ] || fail "cancel: output reached the target"
[ $failures -eq 0 ] && pass "cancelled job left nothing"
cancel -a ParsimoTarget 2>/dev/null
fi


if [ "$part" = saving ]; then
# The saving chosen per job: the job's option, then the user's own setting,
# then the queue's default, never below the machine's minimum. The page is
# a black block: what stays of its darkness is what the saving kept.
settings "$user1" ParsimoTarget 10
settings "$user2" ParsimoTarget none
measure_original
expect_kept "$user1" 25 -o TonerSaving=75
expect_kept "$user1" 90
expect_kept "$user1" 50 -o print-quality=3
lpadmin -p Parsimo -o TonerSaving=30
expect_kept "$user2" 70
# A print dialog sends the queue's default back as the job's option: the
# user's own setting still wins over it.
expect_kept "$user1" 90 -o TonerSaving=30
# The administrator's minimum, against a job's option.
printf '"MinimumSaving"=dword:%08x\n' 20 >>"$dir/machine.reg"
expect_kept "$user1" 80 -o TonerSaving=Off
grep -q 'Toner saving: 20 (the job.s TonerSaving, raised to the machine.s MinimumSaving)' \
  "$(data_dir "$user1")/Parsimo.log" || fail "the job's saving is not in its log"
fi

if [ "$part" = server ]; then
# A print server: the queue shared on the loopback port, and a second
# scheduler playing another computer whose queue "Office" prints to it over
# IPP, as users this machine has never heard of.
[ "${PARSIMO_CUPS_PORT:-0}" != 0 ] || { echo "SKIP: the test scheduler listens on no port"; exit 77; }
client=$dir-client
PARSIMO_CUPS_DIR=$client PARSIMO_CUPS_PORT=0 "$source_dir/packaging/cups-test-setup.sh" start >/dev/null ||
  { echo "FAIL: the client scheduler did not start"; exit 1; }
trap 'rm -rf "$work"; lpadmin -x Parsimo 2>/dev/null; PARSIMO_CUPS_DIR=$client "$source_dir/packaging/cups-test-setup.sh" stop' EXIT
server=ipp://127.0.0.1:$PARSIMO_CUPS_PORT/printers/Parsimo
lpadmin -h "$client/cups.sock" -p Office -E -v "$server" -m raw 2>/dev/null
lpadmin -p Parsimo -o printer-is-shared=true -o printer-op-policy=parsimo-shared
# Remote users never chose a target: the server's default destination.
lpadmin -d ParsimoTarget
db=$dir/common/QMVK/Parsimo/Parsimo.sdf
rows() { sqlite3 -readonly "$db" "SELECT count(*) FROM jobs WHERE user = '$1' AND host <> ''" 2>/dev/null; }
remote() { lp -h "$client/cups.sock" -d Office "$@"; }
rm -rf "$db" "$db-journal" "$dir/service/jane" "$dir/service/bob"
# Under the shared queue's policy nobody is authenticated, local users
# included: this job too runs as the service account, as unverified-$user1.
measure_original

kept_by "CORP\\Jane -o TonerSaving=75" 25 remote -U 'CORP\Jane' -o TonerSaving=75 "$work/three.pdf"
# An administrator sets a remote user's own saving, where the service account's jobs of that name read it.
PARSIMO_SERVICE_HOME=$dir/service "$build_dir/Parsimo/Parsimo" set --user 'CORP\Jane' SavingsPercentage 60 ||
  fail "Parsimo set --user"
kept_by "jane@corp.example (her own 60 %)" 40 remote -U jane@corp.example "$work/three.pdf"
[ "$(rows jane)" = 2 ] && pass "both spellings of jane recorded as jane, with their host" ||
  fail "jane's rows: $(sqlite3 -readonly "$db" "SELECT user, host FROM jobs" | tr '\n' ' ')"
# A remote user with a local user's name is not that user.
kept_by "$user1 from another computer" 100 remote -U "$user1" -o TonerSaving=Off "$work/three.pdf"
[ "$(rows "unverified-$user1")" = 2 ] && pass "a remote $user1 is recorded as unverified-$user1" ||
  fail "a remote $user1 was not kept apart from the local one"
# A driverless client: IPP's own print-quality and requesting-user-name.
cat >"$work/print.test" <<'TEST'
{
  NAME "Print-Job at draft quality"
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name bob
  ATTR mimeMediaType document-format application/pdf
  GROUP job-attributes-tag
  ATTR enum print-quality 3
  FILE $filename
  STATUS successful-ok
}
TEST
kept_by "ipptool print-quality=3 as bob" 50 ipptool -f "$work/three.pdf" "$server" "$work/print.test"
[ "$(rows bob)" = 1 ] && pass "bob recorded with his host" || fail "bob's job not recorded"
fi

if [ "$part" = trust ]; then
# Who a job runs as, tried as a hostile local user would.
service_uid=$(id -u parsimo)
db=$dir/common/QMVK/Parsimo/Parsimo.sdf
sql() { sqlite3 -readonly "$db" "$1" 2>/dev/null; }
# The pid of a program running as user $2 (and child of $3); waits for it to start.
running() {
  local pid
  for _ in $(seq 120); do
    pid=$(pgrep -n -x "$1" -u "$2" ${3:+-P "$3"}) && break
    sleep 0.25
  done
  echo "$pid"
}
# Waits until the jobs of user $1 have left no program running.
quiet() { for _ in $(seq 80); do pgrep -u "$1" -x 'Dravik|gs' >/dev/null || return 0; sleep 0.25; done; return 1; }
uid_of() { [ -n "$1" ] && awk '/^Uid:/ { print $2 }' "/proc/$1/status"; }

# The scheduler vouches for nobody but the user at its socket.
for who in root "$user2"; do
  runuser -u "$user1" -- lp -U "$who" -d Parsimo "$work/three.pdf" >/dev/null 2>&1 && fail "$user1 submitted a job as $who"
done
settle 60

# Root's own job, and a job of a system account, run as the service account.
# They print on the default queue (their per-name folders choose none), so
# that they run long enough to be looked at.
lpadmin -d ParsimoTarget
for who in root daemon; do
  quiet parsimo
  if [ "$who" = root ]; then lp -d Parsimo "$work/long.ps" >/dev/null; else runuser -u daemon -- lp -d Parsimo "$work/long.ps" >/dev/null; fi
  dravik=$(running Dravik parsimo)
  uid=$(uid_of "$dravik")
  gs_uid=$(uid_of "$(running gs parsimo "$dravik")")
  [ "$uid" = "$service_uid" ] && [ "$gs_uid" = "$service_uid" ] &&
    pass "$who's job runs as the service account" || fail "$who's job ran as uid $uid (Ghostscript $gs_uid)"
  [ -d "$dir/service/$who" ] && [ "$(stat -c %U "$dir/service/$who")" = parsimo ] ||
    fail "no per-name folder for $who"
  cancel -a Parsimo 2>/dev/null
  settle 60 || fail "cancelled job of $who still queued"
done

# The usage statistics: written by the backend alone, readable by root and
# the printing administrators only, each row under the name the job ran as.
check_print "$user1" "$work/three.pdf" 3 ParsimoTarget
[ "$(stat -c '%U %G %a' "$db")" = "root lpadmin 640" ] && pass "the statistics are root's, 0640" ||
  fail "statistics database is $(stat -c '%U %G %a' "$db")"
[ "$(stat -c '%U %a' "$dir/common/QMVK/Parsimo")" = "root 755" ] || fail "the all-users folder is writable by others"
runuser -u "$user2" -- sh -c "echo x > '$db-journal'" 2>/dev/null && fail "$user2 can plant a journal"
[ "$(sql "SELECT user || ':' || pages FROM jobs ORDER BY id DESC LIMIT 1")" = "$user1:3" ] &&
  pass "the job is recorded as $user1's" || fail "statistics row: $(sql 'SELECT * FROM jobs ORDER BY id DESC LIMIT 1')"
own=$(data_dir "$user1")/Parsimo.sdf
[ "$(stat -c '%U %a' "$own" 2>/dev/null)" = "$user1 600" ] && pass "$user1 keeps their own copy" ||
  fail "no own statistics copy for $user1"

# No job runs past the machine's ceiling, whatever the user's JobTimeout.
printf '"JobTimeoutLimit"=dword:00000003\n' >>"$dir/machine.reg"
printf '"JobTimeout"=dword:00000000\n' >>"$(home_of "$user1")/.config/tessel/user.reg"
printf '%%!PS\n{} loop\n' >"$work/loop.ps" && chmod 0644 "$work/loop.ps"
submit "$user1" "$work/loop.ps" >/dev/null
settle 40 && ! pgrep -u "$user1" -x gs >/dev/null && pass "a job that never ends is ended at the ceiling" ||
  fail "the endless job held the queue"
fi

if [ "$part" = request ]; then
# The job's copies, sides, tray and colour mode reach the target's job; the
# pages come once, the copies are the target's to make.
ipp_uri() { echo "ipp://$(printf %s "$CUPS_SERVER" | sed 's|/|%2F|g')/printers/$1"; }
cat >"$work/job.test" <<'IPP'
{ OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job
  ATTR name requesting-user-name root
  ATTR keyword requested-attributes all
}
IPP
newest_job() { lpstat -W completed -o "$1" | sed -n "s/^$1-\([0-9]*\) .*/\1/p" | sort -n | tail -1; }
settings "$user1" ParsimoDuplex
before=$(completed ParsimoDuplex)
submit "$user1" -n 2 -o sides=two-sided-long-edge -o InputSlot=Tray2 -o print-color-mode=monochrome \
  "$work/three.pdf" >/dev/null
settle 120 || fail "the two-sided job did not finish"
[ "$(completed ParsimoDuplex)" -eq $((before + 1)) ] || fail "no job on ParsimoDuplex"
attributes=$(ipptool -tv -d job="$(newest_job ParsimoDuplex)" "$(ipp_uri ParsimoDuplex)" "$work/job.test")
for want in "copies (integer) = 2" "sides (keyword) = two-sided-long-edge" "InputSlot (nameWithoutLanguage) = Tray2" \
  "print-color-mode (keyword) = monochrome"; do
  grep -qF "$want" <<<"$attributes" && pass "the target's job has $want" || fail "the target's job lacks $want"
done
[ "$(pdfinfo "$dir/out/ParsimoDuplex.pdf" | awk '/^Pages:/ { print $2 }')" = 3 ] &&
  [ "$(sqlite3 -readonly "$dir/common/QMVK/Parsimo/Parsimo.sdf" "SELECT pages || 'x' || copies FROM jobs ORDER BY id DESC LIMIT 1")" = 3x2 ] &&
  pass "three pages, once, recorded as 3 pages x 2 copies" || fail "the two-sided job is not three pages x 2 copies"

# Page ranges and number-up are the scheduler's filters' to apply, once (to
# PostScript only when it names its pages, as applications' does).
settings "$user1" ParsimoTarget
pdftops "$work/three.pdf" "$work/three.ps" && chmod 0644 "$work/three.ps"
for request in "three.ps -P 2-3:2" "three.pdf -o number-up=2:2"; do
  file=${request%% *} options=${request#* } pages=${request##*:}
  options=${options%:*}
  before=$(completed ParsimoTarget)
  # shellcheck disable=SC2086 # the options are words
  submit "$user1" $options "$work/$file" >/dev/null
  settle 120 && [ "$(completed ParsimoTarget)" -eq $((before + 1)) ] || fail "$file $options did not print"
  got=$(pdfinfo "$dir/out/ParsimoTarget.pdf" | awk '/^Pages:/ { print $2 }')
  [ "$got" = "$pages" ] && pass "$file $options: $pages pages" || fail "$file $options: $got pages, not $pages"
done

# A paper the target offers (A4) is used as it is; one it lacks (B5) gives
# way to the target's own (Letter), on which the job's page is fitted whole.
gs -q -dSAFER -sDEVICE=pdfwrite -o "$work/a4.pdf" -c "<</PageSize[595 842]>>setpagedevice 20 20 40 40 rectfill showpage"
chmod 0644 "$work/a4.pdf"
for request in "A4 595x842" "B5 612x792"; do
  media=${request% *}
  before=$(completed ParsimoTarget)
  submit "$user1" -o media="$media" "$work/a4.pdf" >/dev/null
  settle 120 && [ "$(completed ParsimoTarget)" -eq $((before + 1)) ] || fail "the $media job did not print"
  size=$(pdfinfo "$dir/out/ParsimoTarget.pdf" | awk '/^Page size:/ { print int($3 + 0.5) "x" int($5 + 0.5) }')
  [ "$media $size" = "$request" ] && pass "the $media job prints on $size" || fail "the $media job printed on $size"
done
fi

if [ "$part" = errors ]; then
# A job that cannot print ends with its reason, on the scheduler's default
# error policy too.
lpadmin -p Parsimo -o printer-error-policy=retry-job
settings "$user1" NoSuchQueue
id=$(submit "$user1" "$work/three.pdf")
settle 30 && pass "the job with a missing target ended" || fail "the job with a missing target is still queued"
lpstat -W completed -l -o Parsimo | grep -A1 "^Parsimo-$id " | grep -q 'Status: Could not open the target printer (NoSuchQueue)!' &&
  lpstat -p Parsimo | grep -q 'enabled' && pass "lpstat -l shows why, and the queue goes on" ||
  fail "no reason in lpstat, or the queue stopped: $(lpstat -W completed -l -o Parsimo | grep -A2 "^Parsimo-$id ")"

# A target that refuses jobs for now: the job waits to be tried again, saying
# why, and the queue prints the next job meanwhile.
settings "$user1" ParsimoTarget
cupsreject ParsimoTarget
id=$(submit "$user1" "$work/three.pdf")
refused() { lpstat -l -o Parsimo | grep -A1 "^Parsimo-$id " | grep -q 'Status: The print job could not be printed on the printer ParsimoTarget'; }
for _ in $(seq 120); do refused && break; sleep 0.25; done
cupsaccept ParsimoTarget
refused &&
  pass "a job the target refuses waits to be tried again, saying why" ||
  fail "the refused job: $(lpstat -W all -l -o Parsimo | grep -A2 "^Parsimo-$id ")"
before=$(completed ParsimoTarget2)
submit "$user2" "$work/three.pdf" >/dev/null
for _ in $(seq 240); do [ "$(completed ParsimoTarget2)" -gt "$before" ] && break; sleep 0.25; done
[ "$(completed ParsimoTarget2)" -gt "$before" ] && pass "the next job prints meanwhile" || fail "the queue stalled"
cancel "Parsimo-$id" 2>/dev/null
settle 30
fi

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
[ $failures -eq 0 ]
