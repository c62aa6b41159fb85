#!/usr/bin/env bash
# /plan=FILE with the installation choices: a quiet Minimum install on LPT3:
# (the prefix has RunOnce\Setup, so the wrapper entry is planned as well), then
# after an uninstall a Custom install of models 1 and 3 with the status display
# tool in a new nested folder, on LPT2:, made the default printer. Each plan
# changes nothing, shows no window and lists exactly the changes the real
# quiet run logs.
. "$(dirname "$0")/../lib.sh"
e2e_begin plan_choices
seed_key 'Software\Microsoft\Windows\CurrentVersion\RunOnce\Setup'
e2e_start
SETUP='C:\medium\kxsetup.exe'

plan_unchanged minimum 0 "$SETUP /type=minimum /port=LPT3:"
run_as_planned minimum "$SETUP /type=minimum /port=LPT3:"

# Wine's spooler adds a printer only to a key with a data type, and the
# uninstall took the seeded ones with the printers (see seed_spooler_quirk).
robot <<EOF2
note uninstall-minimum
start C:\\STATUS\\kxsetup.exe Uninstall /quiet
wait-exit-quiet 60000
EOF2
section uninstall-minimum
has EXIT 0
reseed_spooler_quirk

CUSTOM="$SETUP /type=custom /models=1,3 /statusdir=C:\\Kalyx\\Tools /port=LPT2: /defaultprinter"
plan_unchanged custom 0 "$CUSTOM"
run_as_planned custom "$CUSTOM"
e2e_end
