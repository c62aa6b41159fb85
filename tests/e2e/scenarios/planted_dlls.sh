#!/usr/bin/env bash
# A comctl32.dll and a winspool.drv placed beside kxsetup.exe on the medium, in
# the status folder (made beforehand by someone else) and in the current folder
# of both runs. Windows loads such copies (they are not known DLLs) before the
# program's first line, with the administrator's rights; Wine does the same
# with these DLLs set to "native, then builtin". The program loads neither: an
# Express install and an uninstall end as usual, and no copy left its marker.
. "$(dirname "$0")/../lib.sh"
: "${KX_E2E_PLANTED:?}"
e2e_begin planted_dlls
mkdir -p "$C/STATUS" "$C/e2e/cwd"
for folder in medium STATUS e2e/cwd; do
  cp "$KX_E2E_PLANTED/comctl32.dll" "$KX_E2E_PLANTED/winspool.drv" "$C/$folder/"
done
e2e_start
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;comctl32,winspool.drv=n,b"
robot <<EOF2
timeout 20000
cd C:\\e2e\\cwd
$(walk_to "Installations Type")
$(finish yes)
start C:\\STATUS\\kxsetup.exe Uninstall
answer-box Installation 6
wait-exit 60000
EOF2

count 2 EXIT
count 2 EXIT 3010
for marker in "$C"/e2e/planted-*; do
  if [ -e "$marker" ]; then fail "a planted DLL was loaded: $(basename "$marker") by $(cat "$marker")"; fi
done
e2e_end
