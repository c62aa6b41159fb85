#!/usr/bin/env bash
# Unattended Custom install: models chosen by number and by name (which implies
# /type=custom), the status display tool in the relative folder TOOLS, the
# default printer set, the options written with "-" and in other cases. No
# window, and the state the wizard's Custom run with the same choices leaves
# (custom.sh).
. "$(dirname "$0")/../lib.sh"
e2e_begin quiet_custom
e2e_start
robot <<EOF2
timeout 20000
start C:\\medium\\kxsetup.exe -Quiet /MODELS=1,"Kalyx Q70/Q90 PS" /statusdir=TOOLS -defaultprinter
wait-exit-quiet 60000
$DUMP_STATE
EOF2
quiet_run 0
custom_state
e2e_end
