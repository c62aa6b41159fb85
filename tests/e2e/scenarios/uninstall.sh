#!/usr/bin/env bash
# Uninstall as the group item and the list of removable software start it: the
# copy of kxsetup.exe in the status folder with the word Uninstall. After an
# Express install, the question is first answered No (nothing changes), then
# Yes while the status display tool runs: the tool is asked to close, the
# uninstall section deletes the tool's and the models' files, the printers go,
# the group and the entry in the list of removable software are deleted, and
# the record stays.
. "$(dirname "$0")/../lib.sh"
e2e_begin uninstall
e2e_start
# The group commands are checked after each run, so the robot runs three times.
robot <<EOF2
timeout 20000
$(walk_to "Installations Type")
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
start C:\\STATUS\\kxsetup.exe Uninstall
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
no_printers
# Each recorded model's driver was removed. The printer goes first, as Windows
# keeps a driver that a printer still uses; Wine does not check, so the order
# is not seen here.
count 0 DRIVER 'Kalyx'
# The record is never removed; the removable-software entry is.
reg "$PRODUCT_KEY" InstallSections 55
reg "$PRODUCT_KEY" StatusDisplayDir 'C:\STATUS=66010'
has NOKEY "$UNINSTALL_KEY"
# The language monitor stays registered.
has MONITOR "$MONITOR" 'Windows NT x86' tremon.dll
runonce_starts 2
# The group: exactly one more command.
group_commands
count 8
[ "$(tail -1 "$VIEW")" = "[DeleteGroup($GROUP)]\\0" ] \
  || fail "the last group command is not the DeleteGroup: $(tail -1 "$VIEW")"

# The status display tool got the close request once and closed (its last
# line is written as its process ends, just after its window is gone).
log=$C/e2e/kxcons.log
for _ in $(seq 1 50); do grep -q '^closed' "$log" 2>/dev/null && break; sleep 0.1; done
events=$(tr -d '\r' <"$log" 2>/dev/null | sed 's/^started [0-9]*$/started/')
[ "$events" = "$(printf 'started\nclose-request 8735 7711\nclosed')" ] \
  || fail "status display tool: expected start, one close request 8735 7711, end; log: $events"

# The uninstall section's files are gone; the program and its INF stay in the
# status folder (the running copy cannot delete itself). kxcons.exe itself may
# be skipped: its process can still be ending when its window is gone, and a
# file in use is skipped without asking.
no_file STATUS/kxcons.ini
for f in kxpcl6.ini kxpcl5e.ini kxps.ini; do no_file "$DRIVERS/$f"; done
file_from_medium STATUS/kxsetup.exe kxsetup.exe
file_from_medium STATUS/oemsetup.inf oemsetup.inf
e2e_end
