#!/usr/bin/env bash
# Builds the Debian package from a copy of the tree, checks its file list and
# lintian, and tries installing and removing it in a throw-away root (never
# on this machine).
#   packaging/build-deb.sh [OUT_DIR]      # default: build-deb/
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build-deb}")
work=$(mktemp -d /tmp/parsimo-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/src"

# A clean copy: dpkg-buildpackage writes beside the source folder.
tar --exclude='./build*' --exclude='./.git' --exclude='./obj-*' -cf - . | tar -xf - -C "$work/src"
(cd "$work/src" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1) ||
  { tail -40 "$work/build.log"; echo "build-deb: dpkg-buildpackage failed" >&2; exit 1; }
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
deb=parsimo_${version}_$(dpkg --print-architecture).deb
cp "$work/$deb" "$out/"
deb=$out/$deb
echo "build-deb: $deb"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The file list: every part in its place, the backend root's alone.
listing=$(dpkg-deb -c "$deb")
for path in ./usr/lib/parsimo/Dravik ./usr/lib/parsimo/Parsimo ./usr/lib/parsimo/libKZTLite.so \
  ./usr/lib/parsimo/libCorvel.so ./usr/lib/cups/backend/parsimo ./usr/share/ppd/parsimo/Parsimo.ppd \
  ./usr/share/man/man1/Dravik.1.gz ./usr/share/man/man8/parsimo.8.gz ./usr/share/doc/parsimo/README.md.gz \
  ./usr/share/man/man1/Parsimo.1.gz ./usr/share/man/man1/parsimo.1.gz \
  ./usr/share/applications/parsimo-settings.desktop ./usr/share/doc/parsimo/copyright; do
  grep -Eq " $path( -> .*)?\$" <<<"$listing" || fail "$path missing from the package"
done
grep -q '^-rwx------ root/root .* ./usr/lib/cups/backend/parsimo$' <<<"$listing" || fail "backend is not root's, mode 0700"
for command in Parsimo parsimo; do
  grep -q "^l.* ./usr/bin/$command -> ../lib/parsimo/Parsimo\$" <<<"$listing" || fail "$command is not on the PATH"
done

desktop-file-validate packaging/parsimo-settings.desktop || fail "the desktop entry is not valid"

# lintian: no errors (warnings are shown).
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
grep -q '^E:' "$work/lintian.txt" && fail "lintian reports errors"

# Install and remove in a throw-away root; the maintainer scripts run with
# DPKG_ROOT pointing there.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/etc/tessel"
touch "$root/var/lib/dpkg/status"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n"Kept"="yes"\n' >"$root/etc/tessel/machine.reg"
# What an earlier version left: a folder every user writes, a database every
# user writes with a row in it, and a journal someone planted.
old=$root/var/lib/QMVK/Parsimo
mkdir -p "$old" && chmod 1777 "$old"
sqlite3 "$old/Parsimo.sdf" "CREATE TABLE jobs (id INTEGER PRIMARY KEY, user TEXT); INSERT INTO jobs (user) VALUES ('ann');"
chmod 0666 "$old/Parsimo.sdf"
printf 'planted' >"$old/Parsimo.sdf-journal" && chmod 0666 "$old/Parsimo.sdf-journal"
dpkg=(dpkg --root="$root" --force-script-chrootless --force-depends --log=/dev/null)
"${dpkg[@]}" -i "$deb" >/dev/null 2>&1 || fail "install into the throw-away root"
grep -q '^"InstallDir"="/usr/lib/parsimo/"$' "$root/etc/tessel/machine.reg" &&
  grep -q "^\"ProductVersion\"=\"$version\"\$" "$root/etc/tessel/machine.reg" &&
  grep -q '^"Kept"="yes"$' "$root/etc/tessel/machine.reg" || fail "installation key: $(cat "$root/etc/tessel/machine.reg")"
[ "$(stat -c %a:%U "$root/var/lib/QMVK/Parsimo")" = 755:root ] || fail "all-users folder not root's, mode 0755"
[ "$(stat -c %a:%U "$old/Parsimo.sdf")" = 640:root ] || fail "old statistics database not root's, mode 0640"
[ "$(sqlite3 "$old/Parsimo.sdf" "SELECT user FROM jobs")" = ann ] || fail "old statistics rows lost"
[ ! -e "$old/Parsimo.sdf-journal" ] && [ -f "$old/Parsimo.sdf-journal.untrusted" ] || fail "a planted journal was kept"
[ "$(stat -c %a "$root/var/lib/parsimo")" = 700 ] || fail "no service account folder"
grep -q ' ./usr/share/parsimo/parsimo-policy.conf$' <<<"$listing" || fail "the queue's policy is not in the package"
[ "$(stat -c %a:%U "$root/usr/lib/cups/backend/parsimo")" = 700:root ] || fail "installed backend mode"
"$root/usr/lib/cups/backend/parsimo" | grep -q '^direct parsimo:/ ' || fail "installed backend lists no device"
"$root/usr/bin/parsimo" --help | grep -q '^Usage: Parsimo' || fail "parsimo --help does not run from the PATH's folder"
echo "a user's file" >"$root/var/lib/QMVK/Parsimo/Parsimo.sdf"
"${dpkg[@]}" --purge parsimo >/dev/null || fail "purge from the throw-away root"
[ ! -e "$root/usr/lib/parsimo/Dravik" ] || fail "Dravik left after purge"
[ -f "$root/var/lib/QMVK/Parsimo/Parsimo.sdf" ] || fail "purge took a user's file"
grep -q Parsimo "$root/etc/tessel/machine.reg" && fail "installation key left after purge"
grep -q '"Kept"="yes"' "$root/etc/tessel/machine.reg" || fail "purge took another key of the machine's hive"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
[ $failures -eq 0 ]
