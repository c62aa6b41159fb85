#!/usr/bin/env bash
# Unattended Express install and uninstall, as a deployment tool runs them:
# "kxsetup.exe /quiet /defaultprinter" from the medium, then the entry's
# QuietUninstallString while the status display tool runs. Neither run shows a
# window; each leaves exactly what the wizard's Express install (express.sh)
# and the confirmed uninstall (uninstall.sh) leave, and logs its steps. Wine's
# own list of removable software shows the entry after the install, and not
# after the uninstall.
. "$(dirname "$0")/../lib.sh"
e2e_begin quiet_express
e2e_start
quiet_express_install kx.log
log_timed e2e/kx.log
log_has e2e/kx.log 'mode: install, quiet, no restart'
log_has e2e/kx.log '> copy C:\medium\kxps.dll -> '
log_has e2e/kx.log 'restart: not needed'
log_has e2e/kx.log 'exit 0'
entry_actions "$C/e2e/kx.log" 'C:\STATUS'
removable_software yes

robot <<EOF2
timeout 20000
note uninstall-run
spawn C:\\STATUS\\kxcons.exe --log=C:\\e2e\\kxcons.log --quit-after=60000
wait-window Printer Status Display
start C:\\STATUS\\kxsetup.exe Uninstall /quiet /log=C:\\e2e\\kx.log
wait-exit-quiet 60000
wait-gone Printer Status Display
note uninstalled
$DUMP_STATE
EOF2
section uninstall-run
quiet_run 0
section uninstalled
uninstalled_state
log_has e2e/kx.log 'mode: uninstall, quiet, no restart'
log_has e2e/kx.log 'box "Installation" "Do you really want to uninstall?": Yes (quiet)'
log_has e2e/kx.log 'status display tool: closed'
removable_software no
e2e_end
