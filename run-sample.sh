#!/usr/bin/env bash
# Installs what is needed, builds, and prints a five-page sample job through
# Dravik at 30 % savings, in a private world inside one temporary folder:
# settings and installation hives, a "Parsimo" virtual printer and a "Target"
# printer whose jobs land as PDF files.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build Dravik >/dev/null

world=$(mktemp -d "${TMPDIR:-/tmp}/parsimo-sample.XXXXXX")
mkdir -p "$world"/{etc,user,common,install,printers}
for printer in Parsimo Target; do
  cp packaging/printers/Office.ppd "$world/printers/$printer.ppd"
done
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QMVK\\Parsimo]\r\n"InstallDir"="%s/install/"\r\n"ProductVersion"="1.0"\r\n' \
  "$world" >"$world/etc/machine.reg"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\QMVK\\Parsimo]\r\n%s\r\n%s\r\n%s\r\n%s\r\n' \
  '"SavingsPercentage"=dword:0000001e' '"ShowDialog"=dword:00000000' \
  '"PrinterName"="Parsimo"' '"TargetPrinterName"="Target"' >"$world/etc/user.reg"

export TESSEL_HKCU="$world/etc/user.reg" TESSEL_HKLM="$world/etc/machine.reg"
export TESSEL_APPDATA="$world/user" TESSEL_COMMON_APPDATA="$world/common" TESSEL_COMMON_DOCUMENTS="$world/common"
export TESSEL_PRINTERS="$world/printers" TESSEL_MESSAGEBOX=stderr
build/Dravik/Dravik -std "$PWD/packaging/sample/sample.ps"

printed=$(ls "$world"/printers/Target/*.pdf)
echo "The sample job was printed at 30 % savings to: $printed"
echo "Its log: $world/user/QMVK/Parsimo/Parsimo.log"
