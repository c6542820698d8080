#!/usr/bin/env bash
# Sets up and builds, creates the bundled demo host and its removable drive E:, shows them, then
# starts Kipo on the host (its tray icon and log), logs in through the pull-down login window's
# panel and out again through the taskbar's logout button, shows the about box, and quits it
# through the tray menu.
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
# Kipo from its drive: the program on E:, started as the drive hands over to it. The drive
# already carries this computer's folder (as after a first synchronization), so the login panel
# lists the computer.
cp "$build/app/Kipo.exe" "$demo/drive/Kipo.exe"
computer=$("$tool" info | sed -n 's/^ *computer_name *[:=] *//p' | head -n 1)
computer="${computer:-DEMO-PC}"
mkdir -p "$demo/drive/Synchronized Computers/$computer"
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
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local tries=$(( $1 * 10 )); shift
  for _ in $(seq 1 "$tries"); do if "$@" >/dev/null 2>&1; then return 0; fi; sleep 0.1; done
  return 1
}
logged() { sed 's/<br>/\n/g' "$demo/drive/Kipo.html" | grep -q "$1"; }

section "the pull-down login window and its panel"
# The demo logs in to the computer the drive is plugged into, which a user allows with this pref.
"$tool" reg set 'HKCU\Software\Brackwater\Kipo\Prefs' allowLoginThisComputer --type REG_SZ --data true
"$tool" ui tray click --icon 0 --right
wait_for 10 sh -c "\"$tool\" ui list | grep -q 'class=#32768'"
"$tool" ui menu --command 341
wait_for 20 sh -c "\"$tool\" ui links --window 'Kipo Login' --control 1358 | grep -q 'href=\"\*\*$computer\"'"
"$tool" ui links --window 'Kipo Login' --control 1358
sleep 1.5
section "log in: pick $computer on the panel"
"$tool" ui follow --window 'Kipo Login' --control 1358 --href "**$computer"
wait_for 60 logged 'passes are skipped\|Login' || true
# The screen cover rolls away; the instructions for the logout (a don't-ask-again message) follow.
if wait_for 10 sh -c "\"$tool\" ui list | grep -q 'Kipo - Message'"; then
  "$tool" ui click --window 'Kipo - Message' --control 1
fi
sed 's/<br>/\n/g' "$demo/drive/Kipo.html" | grep -E 'Personaliz|Primary computer|passes|Login' || true
"$tool" screen "$demo/screen-after-login.png" && echo "screen: $demo/screen-after-login.png"
section "taskbar"
"$tool" ui taskbar

section "log out"
if "$tool" ui tray | grep -q 'tip="Logged in'; then
  if wait_for 10 sh -c "\"$tool\" ui taskbar | grep -q 'text=\"Log out\"'"; then
    # The taskbar's logout button.
    "$tool" ui taskbar click --window "Log out"
  else
    # The logged-in tray menu's Log out.
    "$tool" ui tray click --icon 0 --right
    wait_for 10 sh -c "\"$tool\" ui list | grep -q 'class=#32768'"
    "$tool" ui menu --command 338
  fi
else
  echo "nothing is logged in"
fi
if wait_for 10 sh -c "\"$tool\" ui list | grep -q 'Kipo - Log Out'"; then
  "$tool" ui list | grep -A6 'Kipo - Log Out' || true
  "$tool" ui click --window 'Kipo - Log Out' --control 1
  wait_for 60 sh -c "\"$tool\" ui tray | grep -q 'tip=\"Double-click to synchronize'" || true
fi
"$tool" ui tray

section "about box"
"$tool" ui tray click --icon 0 --right
wait_for 10 sh -c "\"$tool\" ui list | grep -q 'class=#32768'"
"$tool" ui menu --command 336
wait_for 10 sh -c "\"$tool\" ui list | grep -q 'About Kipo'"
"$tool" ui list --window 'About Kipo'
"$tool" ui click --window 'About Kipo' --control 1

section "quit through the tray menu"
"$tool" ui tray click --icon 0 --right
for _ in $(seq 1 100); do
  if "$tool" ui list | grep -q 'class=#32768'; then break; fi
  sleep 0.1
done
"$tool" ui list | sed -n '/class=#32768/,/Quit/p'
"$tool" ui menu --command 339
# The watcher starts a recovery run of Kipo once the program has ended; it finds nothing to put
# back and ends too. Both are waited for.
for _ in $(seq 1 300); do
  if ! "$tool" ps | grep -q -e ' Kipo.exe ' -e ' Tolvane.exe '; then break; fi
  sleep 0.1
done
"$tool" ps
section "shutdown"
"$tool" shutdown
