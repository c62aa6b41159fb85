#!/usr/bin/env bash
# Minimum install on another port, declining the default printer: the models
# only (no status display tool, no tool item in the group), printers on LPT2:,
# the profile's default printer left alone. The prefix has a RunOnce\Setup key,
# so the RunOnce wrapper entry is written as well.
. "$(dirname "$0")/../lib.sh"
e2e_begin minimum
seed_key 'Software\Microsoft\Windows\CurrentVersion\RunOnce\Setup'
e2e_start
robot <<EOF2
timeout 20000
dump-profile windows device
$(walk_to "Port auswählen")
combo 1007 LPT2:
expect-selected 1007 LPT2:
$(next_to "Drucker anwählen")
$(next_to "Installations Type")
radio 1025
expect-checked 1025 1
expect-checked 1027 0
$(finish no)
note after
$DUMP_STATE
EOF2
has EXIT 3010
count 0 BOX

section after
minimum_state LPT2:
e2e_end
