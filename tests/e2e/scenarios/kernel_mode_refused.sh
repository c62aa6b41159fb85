#!/usr/bin/env bash
# On Windows 7 the spooler takes no kernel-mode (version 2) printer driver:
# the wizard's start, a quiet install, its plan and /verify each end with the
# one box and 1603 before a page or a change; an uninstall still runs (and
# finds nothing installed: 1605).
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
start C:\\medium\\kxsetup.exe /plan=C:\\e2e\\plan.txt
wait-exit 30000
start C:\\medium\\kxsetup.exe /verify /quiet /log=C:\\e2e\\verify.log
wait-exit 30000
start C:\\medium\\kxsetup.exe Uninstall /quiet /log=C:\\e2e\\uninstall.log
wait-exit 30000
$DUMP_STATE
EOF2
count 4 EXIT 1603
# Nothing is installed there, which the uninstall says as Windows Installer does.
has EXIT 1605
count 1 BOX
has BOX Error "$TEXT"
count 0 PAGE
for log in kx.log plan.txt verify.log; do log_has "e2e/$log" "box \"Error\" \"$TEXT\": OK (quiet)"; done
log_has e2e/uninstall.log 'box "Installation" "No installation was found to uninstall.": OK (quiet)'
nothing_changed
e2e_end
