#!/usr/bin/env bash
# Sets up and builds, creates the bundled demo host and its removable drive E:, shows them, then
# starts Kipo on the host (its tray icon and log), and quits it through the tray menu.
# The host lands in ./demo/host and the drive's folder in ./demo/drive (override with
# KIPO_DEMO_DIR); afterwards `export KIPO_HOST=$PWD/demo/host` lets kipo-host work on it.
# --no-setup uses the build as it is (KIPO_BUILD_DIR, default build) without setting up or building.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != "--no-setup" ]; then ./tools/setup.sh; fi
build="${KIPO_BUILD_DIR:-build}"
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
tool="$build/tools/kipo-host/kipo-host"
demo="${KIPO_DEMO_DIR:-$PWD/demo}"
rm -rf "$demo"
mkdir -p "$demo/drive"
"$tool" create "$demo/host"
export KIPO_HOST="$demo/host"
# Plugged as a USB drive, so it has the device nodes the product looks for.
"$tool" plug E: --folder "$demo/drive" --serial 4B1D0E5A --capacity 67108864 --label "KIPO DEMO"

section() { printf '\n== %s ==\n' "$1"; }
section "host"
"$tool" info
section "drives"
"$tool" drive list
section "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"
"$tool" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
section "E:\\ maps to"
"$tool" path 'E:\'

# Host programs under their Windows names, then a power-on: Explorer owns the desktop and taskbar.
section "install and boot"
"$tool" install >/dev/null
"$tool" boot
section "windows"
"$tool" windows
section "processes"
"$tool" ps
# Kipo from its drive: the program on E:, started as the drive hands over to it.
cp "$build/app/Kipo.exe" "$demo/drive/Kipo.exe"
section "Kipo /handoff E:\\"
appdata=$("$tool" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' |
  sed -n 's/^ *AppData *REG_SZ *//p')
"$tool" run "\"$appdata\\Brackwater\\Kipo\\Kipo.exe\" /handoff E:\\"
# Start-up ends with the tray icon's balloon telling the login state.
for _ in $(seq 1 300); do
  if "$tool" ui tray | grep -q 'balloon='; then break; fi
  sleep 0.1
done
section "tray"
"$tool" ui tray
section "E:\\Kipo.html"
sed 's/<br>/\n/g' "$demo/drive/Kipo.html"
echo
section "quit through the tray menu"
"$tool" ui tray click --icon 0 --right
for _ in $(seq 1 100); do
  if "$tool" ui list | grep -q 'class=#32768'; then break; fi
  sleep 0.1
done
"$tool" ui list | sed -n '/class=#32768/,/Quit/p'
"$tool" ui menu --command 339
for _ in $(seq 1 200); do
  if ! "$tool" ps | grep -q ' Kipo.exe '; then break; fi
  sleep 0.1
done
"$tool" ps
section "shutdown"
"$tool" shutdown
