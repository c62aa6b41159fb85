#!/usr/bin/env bash
# The status display tool moved to a drive that has no room (Q:, which names
# no drive, counts as 0 bytes free): the components page shows the drive as a
# column of its own, and Finish ends in "Dirve Q: has no enough space!". The
# record, already written at that point, is taken back; nothing is copied or
# registered, and the list of removable software has no entry that would start
# a program that was never copied.
. "$(dirname "$0")/../lib.sh"
e2e_begin short_drive
e2e_start
robot <<EOF2
timeout 20000
$(walk_to "Compnenten wählen")
click 1052
wait-window Pfad eingeben
type 1024 Q:\\TOOLS
click 1
wait-gone Pfad eingeben
wait-page Compnenten wählen
expect-text 1044 Q:\\TOOLS
expect-text 1047 Drive Q:
expect-text 1049 3412000 bytes
expect-text 1051 0 bytes
click 12325
ok-box Install Error
wait-exit 30000
$DUMP_STATE
EOF2
count 1 BOX
has BOX 'Install Error' 'Dirve Q: has no enough space!'
has EXIT 1603
no_value "$PRODUCT_KEY" InstallSections
no_value "$PRODUCT_KEY" StatusDisplayDir
has NOKEY "$UNINSTALL_KEY"
nothing_registered
e2e_end
