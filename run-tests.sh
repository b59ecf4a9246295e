#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite three times:
# as built for use, under AddressSanitizer and UBSan, and under
# ThreadSanitizer; then builds and checks the Debian packages.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
# Every source file as .clang-format writes it.
scripts/check-format.sh
jobs=$(nproc)

if [ -x packaging/cups-test-setup.sh ]; then
  # A private CUPS scheduler with a target queue for the printing tests.
  eval "$(packaging/cups-test-setup.sh start)"
  trap 'packaging/cups-test-setup.sh stop >/dev/null 2>&1 || true' EXIT
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPARSIMO_SANITIZE=ON -DPARSIMO_BENCH=OFF >/dev/null
ninja -C build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$jobs" --output-on-failure

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPARSIMO_TSAN=ON -DPARSIMO_BENCH=OFF >/dev/null
ninja -C build-tsan -j "$jobs"
# Tests fork and exec the real program: a forked child may hold a lock TSan
# knows nothing of, so its deadlock reports on fork are not ours.
# The windows (the settings dialog, the message boxes) are left out here:
# GTK, Pango and GLib are not built with ThreadSanitizer and take their locks
# in ways it cannot see, so it reports their own mutexes; the window code of
# ours runs on one thread.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0 \
  ctest --test-dir build-tsan -j "$jobs" --output-on-failure -E '^SettingsDialog'

# The Debian packages: built, their file lists, the core's dependencies and
# lintian checked, installed, removed and purged in a throw-away root.
packaging/build-deb.sh build-deb
