#!/usr/bin/env bash
# Uninstall as the group item and the list of removable software start it: the
# copy of kxsetup.exe in the status folder with the word Uninstall. After an
# Express install, the question is first answered No (nothing changes), then
# Yes while the status display tool runs: the tool is asked to close, the
# uninstall section deletes the tool's and the models' files, the printers go,
# the group and the entry in the list of removable software are deleted, and
# the record stays.
# The install and the declined run write a log beside the wizard, into a folder
# named Uninstall: the word in an option's value does not make an uninstall, and
# the log holds the steps of the one and the question of the other.
. "$(dirname "$0")/../lib.sh"
e2e_begin uninstall
mkdir -p "$C/Uninstall"
e2e_start
robot <<EOF2
timeout 20000
start C:\\medium\\kxsetup.exe /log=C:\\Uninstall\\kx.log
wait-page Willkommen 30000
$(pages_to "Installations Type")
$(finish yes)
note installed
$DUMP_STATE
EOF2
section installed
for model in "${MODELS[@]}"; do has_printer "$model" LPT1:; done
group_commands
count 7

robot <<EOF2
timeout 20000
note declined-run
start C:\\STATUS\\kxsetup.exe Uninstall /log=C:\\Uninstall\\kx.log
answer-box Installation 7
wait-exit 30000
note declined
$DUMP_STATE
EOF2
# No: the question, then the end; printers, group and record untouched.
section declined-run
count 1 BOX
has BOX Installation 'Do you really want to uninstall?'
has PRESS Installation 7
has EXIT 1602
section declined
for model in "${MODELS[@]}"; do has_printer "$model" LPT1:; done
group_commands
count 7

# The log: both runs appended, each with its mode, its steps and its end.
log=Uninstall/kx.log
log_timed $log
log_has $log 'mode: install'
log_has $log 'copied C:\medium\kxsetup.exe -> C:\STATUS\kxsetup.exe'
log_has $log '> spooler add printer "Kalyx Q70/Q90 PS" driver "Kalyx Q70/Q90 PS" port "LPT1:"'
log_has $log 'exit 3010'
log_has $log 'mode: uninstall'
log_has $log 'box "Installation" "Do you really want to uninstall?": No'
log_has $log 'exit 1602'
[ "$(grep -c ' exit ' "$C/$log")" = 2 ] || fail "the log holds $(grep -c ' exit ' "$C/$log") ends, expected 2"

robot <<EOF2
timeout 20000
note uninstall-run
spawn C:\\STATUS\\kxcons.exe --log=C:\\e2e\\kxcons.log --quit-after=60000
wait-window Printer Status Display
start C:\\STATUS\\kxsetup.exe Uninstall
answer-box Installation 6
wait-exit 60000
wait-gone Printer Status Display
note uninstalled
$DUMP_STATE
EOF2
# Yes: one question, no other box, a completed run.
section uninstall-run
count 1 BOX
has BOX Installation 'Do you really want to uninstall?'
has EXIT 3010
section uninstalled
uninstalled_state
e2e_end
