#!/usr/bin/env bash
# Builds the Debian packages (parsimo, the core, and parsimo-gtk, its windows)
# from a copy of the tree, checks their file lists, dependencies and lintian,
# and tries installing and removing them in a throw-away root (never on this
# machine).
#   packaging/build-deb.sh [OUT_DIR]      # default: build-deb/
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build-deb}")
work=$(mktemp -d /tmp/parsimo-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/src"

# A clean copy: dpkg-buildpackage writes beside the source folder.
tar --exclude='./build*' --exclude='./.git' --exclude='./obj-*' -cf - . | tar -xf - -C "$work/src"
# Compiled through ccache when there is one; paths below the copy count as
# relative, so a later run's copy in another folder finds the same objects.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$work/src CCACHE_NOHASHDIR=1
fi
(cd "$work/src" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1) ||
  { tail -40 "$work/build.log"; echo "build-deb: dpkg-buildpackage failed" >&2; exit 1; }
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
arch=$(dpkg --print-architecture)
deb=$out/parsimo_${version}_$arch.deb
gtkdeb=$out/parsimo-gtk_${version}_$arch.deb
cp "$work/$(basename "$deb")" "$work/$(basename "$gtkdeb")" "$out/"
echo "build-deb: $deb $gtkdeb"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The file lists: every part in its place, the backend root's alone, and
# nothing of the windows in the core package.
listing=$(dpkg-deb -c "$deb")
gtklisting=$(dpkg-deb -c "$gtkdeb")
for path in ./usr/lib/parsimo/Dravik ./usr/lib/parsimo/Parsimo ./usr/lib/parsimo/libKZTLite.so \
  ./usr/lib/parsimo/libCorvel.so ./usr/lib/cups/backend/parsimo ./usr/share/ppd/parsimo/Parsimo.ppd \
  ./usr/share/man/man1/Dravik.1.gz ./usr/share/man/man8/parsimo.8.gz ./usr/share/doc/parsimo/README.md.gz \
  ./usr/share/man/man1/Parsimo.1.gz ./usr/share/man/man1/parsimo.1.gz ./usr/share/doc/parsimo/copyright; do
  grep -Eq " $path( -> .*)?\$" <<<"$listing" || fail "$path missing from the package"
done
for path in ./usr/lib/parsimo/ParsimoGtk ./usr/share/applications/parsimo-settings.desktop \
  ./usr/share/doc/parsimo-gtk/copyright; do
  grep -q " $path\$" <<<"$gtklisting" || fail "$path missing from parsimo-gtk"
  grep -q " $path\$" <<<"$listing" && fail "$path in the core package"
done

# The core installs on a server without a window system: no GTK, WebKit or
# message-box program among its dependencies, nor theirs.
depends=$(dpkg-deb -f "$deb" Depends)
echo "build-deb: parsimo depends on $depends"
names=$(sed -E 's/\([^)]*\)//g; s/[,|]/ /g' <<<"$depends")
# shellcheck disable=SC2086 # one word per package name
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
  --no-enhances $names 2>/dev/null | grep -v '^ ' | sort -u)
[ -n "$closure" ] || fail "the core's dependencies are unknown to apt-cache"
heavy=$(grep -iE 'gtk|webkit|zenity|gstreamer|pipewire' <<<"$closure" || true)
[ -z "$heavy" ] || fail "the core pulls in $(tr '\n' ' ' <<<"$heavy")"
dpkg-deb -f "$deb" Recommends | grep -qi . && fail "the core recommends $(dpkg-deb -f "$deb" Recommends)"
dpkg-deb -f "$gtkdeb" Depends | grep -q "parsimo (= $version)" || fail "parsimo-gtk is not tied to its core's version"
grep -q '^-rwx------ root/root .* ./usr/lib/cups/backend/parsimo$' <<<"$listing" || fail "backend is not root's, mode 0700"
for command in Parsimo parsimo; do
  grep -q "^l.* ./usr/bin/$command -> ../lib/parsimo/Parsimo\$" <<<"$listing" || fail "$command is not on the PATH"
done

dpkg-deb -x "$gtkdeb" "$work/gtk"
desktop-file-validate "$work/gtk/usr/share/applications/parsimo-settings.desktop" || fail "the desktop entry is not valid"
grep -q '^Exec=/usr/lib/parsimo/ParsimoGtk /settings$' "$work/gtk/usr/share/applications/parsimo-settings.desktop" ||
  fail "the desktop entry does not start the settings window"

# lintian: clean, both packages (overrides carry their reasons).
lintian --tag-display-limit 0 "$deb" "$gtkdeb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
grep -Eq '^[EW]:' "$work/lintian.txt" && fail "lintian reports errors or warnings"

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
"${dpkg[@]}" -i "$deb" "$gtkdeb" >/dev/null 2>&1 || fail "install into the throw-away root"
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
for command in Parsimo parsimo; do
  PATH="$root/usr/bin:/usr/bin:/bin" "$command" --help | grep -q '^Usage: Parsimo' ||
    fail "$command --help does not run from the PATH"
done
[ -x "$root/usr/lib/parsimo/ParsimoGtk" ] || fail "the windows' program is not installed"

# Without its windows the core says which package they need.
"${dpkg[@]}" --purge parsimo-gtk >/dev/null || fail "purge parsimo-gtk from the throw-away root"
status=0
answer=$(PATH="$root/usr/bin:/usr/bin:/bin" Parsimo /settings 2>&1) || status=$?
[ $status -eq 4 ] && grep -q 'needs the package parsimo-gtk' <<<"$answer" || fail "Parsimo /settings without parsimo-gtk: $status $answer"

# Removed while no scheduler runs (as in this root), with the queue still in
# the scheduler's list: the administrator is told how to remove it later.
mkdir -p "$root/etc/cups"
printf '<Printer Parsimo>\nDeviceURI parsimo:/\n</Printer>\n' >"$root/etc/cups/printers.conf"
removal=$("${dpkg[@]}" --remove parsimo 2>&1) || fail "remove from the throw-away root"
grep -q 'lpadmin -x Parsimo' <<<"$removal" || fail "removal without a scheduler does not say how to remove the queue: $removal"

# Purged, nothing the package made is left under /var/lib; a folder of
# another product of the maker stays.
mkdir -p "$root/var/lib/QMVK/Other" && echo kept >"$root/var/lib/QMVK/Other/file"
echo "a log" >"$root/var/lib/QMVK/Parsimo/Parsimo.log"
"${dpkg[@]}" --purge parsimo >/dev/null || fail "purge from the throw-away root"
[ ! -e "$root/usr/lib/parsimo/Dravik" ] || fail "Dravik left after purge"
left=$(cd "$root/var/lib" && find . -mindepth 1 -path ./dpkg -prune -o -print | grep -v '^./QMVK$\|^./QMVK/Other' || true)
[ -z "$left" ] || fail "left under /var/lib after purge: $(tr '\n' ' ' <<<"$left")"
[ -f "$root/var/lib/QMVK/Other/file" ] || fail "purge took another product's folder"
grep -q Parsimo "$root/etc/tessel/machine.reg" && fail "installation key left after purge"
grep -q '"Kept"="yes"' "$root/etc/tessel/machine.reg" || fail "purge took another key of the machine's hive"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
[ $failures -eq 0 ]
