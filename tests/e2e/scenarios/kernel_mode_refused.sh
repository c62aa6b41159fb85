#!/usr/bin/env bash
# On Windows 7 the spooler takes no kernel-mode (version 2) printer driver:
# the wizard's start and a quiet install each end with the one box, 1603 and
# nothing changed, before a page or a file.
. "$(dirname "$0")/../lib.sh"
e2e_begin kernel_mode_refused
e2e_start
# Wine's own version for the program, in place of the scenarios' XP.
"$WINE" reg add 'HKCU\Software\Wine\AppDefaults\kxsetup.exe' /v Version /d win7 /f >/dev/null 2>&1 </dev/null
TEXT="This package's printer drivers are kernel-mode drivers, which this version of Windows does not accept."
robot <<EOF2
timeout 20000
start C:\\medium\\kxsetup.exe
ok-box Error
wait-exit 30000
start C:\\medium\\kxsetup.exe /quiet /log=C:\\e2e\\kx.log
wait-exit 30000
$DUMP_STATE
EOF2
count 2 EXIT 1603
count 1 BOX
has BOX Error "$TEXT"
count 0 PAGE
log_has e2e/kx.log "box \"Error\" \"$TEXT\": OK (quiet)"
log_has e2e/kx.log 'exit 1603'
nothing_changed
e2e_end
