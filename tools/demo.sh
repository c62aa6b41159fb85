#!/usr/bin/env bash
# ./run.sh demo: kxsetup.exe from the sample medium under Wine, in a prefix of
# its own with the real graphics driver (<build>/demoprefix).
#
#  - With DISPLAY set, the wizard appears on that display and you install by
#    hand; afterwards a report tells what the run installed.
#  - Without DISPLAY, a private Xvfb server is started and kxrobot.exe walks
#    through every page and dialog (a look at the Custom components and the
#    path dialog, then back to an Express install), a PNG screenshot is saved
#    of each, and the report follows.
#
# It runs the shipped i686 kxsetup.exe under 32-bit Wine, with the i686
# build's robot and stand-ins; on a machine that cannot run 32-bit programs,
# the x86_64 build's under 64-bit Wine (./run.sh demo chooses).
#
# usage: tools/demo.sh <build dir> [win32|win64]
set -euo pipefail
B32=$(cd "${1:?usage: demo.sh <build dir> [win32|win64]}" && pwd)
ARCH=${2:-win32}
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tools/prefix_keys.sh"
. "$top/tools/wine-env.sh"

wine_find "$ARCH"
export WINEPREFIX=$B32/demoprefix
MEDIUM=$B32/medium
ROBOT=$B32/tools/robot/kxrobot.exe
RECORDER=$B32/tools/progman-recorder.exe
OUT=$B32/demo
SHOTS=$OUT/screenshots
C=$WINEPREFIX/drive_c

for f in "$MEDIUM/kxsetup.exe" "$MEDIUM/oemsetup.inf" "$ROBOT"; do
  [ -e "$f" ] || { echo "demo: $f is missing; build first (./run.sh demo does)" >&2; exit 1; }
done

XVFB_PID=""; WATCH_PID=""
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "$WATCH_PID" ] && kill "$WATCH_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

robot_mode=0
if [ -z "${DISPLAY:-}" ]; then
  robot_mode=1
  n=99
  while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  echo "== Xvfb on $DISPLAY"
fi

# A prefix of the demo's own, made once; every demo starts from a clean copy
# of the medium and without the previous demo's installation.
if [ ! -f "$WINEPREFIX/.kx-ready" ]; then
  wine_prefix "$WINEPREFIX" x11 300 "$ARCH"
  mkdir -p "$OUT"
  tar -C "$WINEPREFIX" -cf "$OUT/pristine.tar" .
else
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  tar -C "$WINEPREFIX" -xf "$OUT/pristine.tar"
fi
mkdir -p "$C/demo" "$OUT"
rm -rf "$C/medium"
cp -a "$MEDIUM" "$C/medium"

prefix_spooler_quirk "$WINEPREFIX" "$MEDIUM/oemsetup.inf"

# Xvfb has no window manager: Wine then draws the title bars and frames itself.
if [ $robot_mode = 1 ]; then
  prefix_key "$WINEPREFIX/user.reg" 'Software\Wine\X11 Driver' '"Managed"="N"'
fi

"$WINESERVER" -p >/dev/null 2>&1 </dev/null
timeout 60 "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true

DUMPS='dump-tree HKLM\Software\VelbaPrinter\VelbaProduct\PrinterInfo
dump-key HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelbaProduct
dump-key HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce
dump-printers
dump-drivers
dump-monitors
dump-profile windows device'

if [ $robot_mode = 1 ]; then
  # The Program Manager commands are recorded by a stand-in service, started
  # before Wine's desktop shell would answer them.
  if [ -x "$RECORDER" ] || [ -f "$RECORDER" ]; then
    timeout 600 "$WINE" "$RECORDER" 'C:\demo\progman.log' 300000 >/dev/null 2>&1 </dev/null &
    for _ in $(seq 1 100); do [ -f "$C/demo/progman.log.ready" ] && break; sleep 0.1; done
  fi

  # Screenshot requests of the robot: <name>.req holds the window's screen
  # rectangle; the watcher grabs it from the X server and removes the request.
  rm -rf "$SHOTS"; mkdir -p "$SHOTS"
  (
    while :; do
      for req in "$SHOTS"/*.req; do
        [ -e "$req" ] || continue
        name=$(basename "$req" .req)
        read -r x y w h < <(tr -d "\r" <"$req") || true
        if [ "${w:-0}" -gt 0 ] && [ "${h:-0}" -gt 0 ]; then
          import -window root -crop "${w}x${h}+${x}+${y}" +repage "$SHOTS/$name.png" 2>/dev/null || true
        else
          import -window root "$SHOTS/$name.png" 2>/dev/null || true
        fi
        rm -f "$req"
      done
      sleep 0.1
    done
  ) &
  WATCH_PID=$!
  export KXROBOT_SHOTS="Z:${SHOTS//\//\\}"

  cat >"$C/demo/script.txt" <<EOF
timeout 30000
start C:\\medium\\kxsetup.exe
wait-page Willkommen 60000
screenshot 1-welcome
click 12324
wait-page Port auswählen
screenshot 2-port
click 12324
wait-page Drucker anwählen
screenshot 3-printer
click 12324
wait-page Installations Type
screenshot 4-type
radio 1026
click 12324
wait-page Compnenten wählen
screenshot 5-components
click 1052
wait-window Pfad eingeben
screenshot 6-path
click 2
wait-gone Pfad eingeben
wait-page Compnenten wählen
click 12323
wait-page Installations Type
radio 1027
click 12325
wait-window Dr. auf Standard setzen
screenshot 7-default-printer
default-printer yes
wait-exit 120000
$DUMPS
EOF
  echo "== kxrobot performs an Express install (screenshots in $SHOTS)"
  rc=0
  timeout 600 "$WINE" "$ROBOT" 'C:\demo\script.txt' 'C:\demo\transcript.txt' </dev/null || rc=$?
  if [ $rc != 0 ]; then
    echo "demo: the robot failed ($rc); its transcript:" >&2
    cat "$C/demo/transcript.txt" >&2 || true
    exit 1
  fi
else
  echo "== kxsetup.exe on $DISPLAY: install as you like; the report follows when it ends"
  # The robot only starts the program, waits for its end (exit codes such as
  # 3010 do not fit a Unix exit status) and dumps what the run did.
  printf 'start C:\\medium\\kxsetup.exe\nwait-exit 86400000 user\n%s\n' "$DUMPS" >"$C/demo/script.txt"
  "$WINE" "$ROBOT" 'C:\demo\script.txt' 'C:\demo\transcript.txt' </dev/null
fi

# --- the report ---------------------------------------------------------------
T=$C/demo/transcript.txt
cp "$T" "$OUT/transcript.txt"
field() { awk -F'\t' -v k="$1" '$1 == k' "$T"; }
echo
echo "================ what kxsetup.exe did ================"
if [ "$ARCH" = win32 ]; then
  echo "program: $MEDIUM/kxsetup.exe, the shipped i686 build ($(stat -c %s "$MEDIUM/kxsetup.exe") bytes), under 32-bit Wine"
else
  echo "program: $MEDIUM/kxsetup.exe, the x86_64 build ($(stat -c %s "$MEDIUM/kxsetup.exe") bytes), under 64-bit Wine;" \
       "the shipped i686 kxsetup.exe was built, not run: this machine cannot run 32-bit programs"
fi
code=$(field EXIT | tail -1 | cut -f2)
case "$code" in
  0) meaning="completed" ;;
  3010) meaning="completed, restart left to the user (Wine's restart prompt never asks)" ;;
  1602) meaning="cancelled" ;;
  1603) meaning="failed" ;;
  *) meaning="?" ;;
esac
echo "exit code: $code ($meaning)"
boxes=$(field BOX | cut -f2- | tr '\t' ':')
[ -n "$boxes" ] && { echo "message boxes:"; echo "$boxes" | iconv -f CP1252 -t UTF-8 | sed 's/^/  /'; }
echo "files:"
status=$(field REG | awk -F'\t' '$3 == "StatusDisplayDir" { v = $6; sub(/\\0$/, "", v); sub(/=[0-9]*$/, "", v); print v }' | tail -1)
list_files() {  # <Windows folder> [<name pattern>]
  local dir=$C/${1#C:\\}
  dir=${dir//\\//}
  [ -d "$dir" ] && find "$dir" -maxdepth 1 -type f -name "${2:-*}" | sort | sed "s|^$C/|  C:/|"
  return 0
}
[ -n "$status" ] && list_files "$status"
list_files 'C:\windows\system32' tremon.dll
list_files "C:\\windows\\system32\\spool\\drivers\\$([ "$ARCH" = win32 ] && echo w32x86 || echo x64)"
echo "registry:"
field REG | awk -F'\t' '{ v = $6; sub(/\\0$/, "", v); printf "  %s\\%s = %s\n", $2, $3, v }'
echo "printers:"
field PRINTER | awk -F'\t' '$4 != "(null)" { printf "  %s on %s (driver %s)\n", $2, $3, $4 }'
echo "printer drivers:"
field DRIVER | awk -F'\t' '{ printf "  %s [%s], monitor %s\n", $2, $3, $10 }'
echo "language monitors:"
field MONITOR | awk -F'\t' '{ printf "  %s (%s)\n", $2, $4 }'
echo "default printer: $(field PROFILE | cut -f4)"
if [ -s "$C/demo/progman.log" ]; then
  echo "program group commands:"
  sed 's/\\0$//; s/^/  /' "$C/demo/progman.log"
fi
group=$(find "$C/users" -path '*Programs/Kalyx*' -maxdepth 6 2>/dev/null | head -1)
[ -n "$group" ] && echo "start menu group (Wine's shell): ${group#$C/}"
if [ $robot_mode = 1 ]; then
  echo "screenshots:"
  ls "$SHOTS"/*.png 2>/dev/null | sed 's/^/  /'
fi
