#!/usr/bin/env bash
# The uninstall word is looked for in the whole command line, case-sensitively:
# "uninstall" starts the wizard, "/Uninstall" and "Uninstaller" ask the
# uninstall question.
. "$(dirname "$0")/../lib.sh"
e2e_begin command_line
e2e_start
robot <<EOF2
timeout 20000
note lower
start C:\\medium\\kxsetup.exe uninstall
wait-page Willkommen 30000
click 2
wait-exit 30000
note slash
start C:\\medium\\kxsetup.exe /Uninstall
answer-box Installation 7
wait-exit 30000
note longer
start C:\\medium\\kxsetup.exe Uninstaller
answer-box Installation 7
wait-exit 30000
EOF2
section lower
count 0 BOX
has EXIT 1602
for s in slash longer; do
  section $s
  count 0 PAGE
  count 1 BOX
  has BOX Installation 'Do you really want to uninstall?'
  has EXIT 1602
done
e2e_end
