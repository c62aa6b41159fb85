#!/usr/bin/env bash
# Custom install: the PCL 5e model unticked on the components page, the status
# display tool moved with "Wechseln" to the relative folder TOOLS (after a look
# into the folder browser that is cancelled), which the program puts below its
# start folder C:\medium. The page's controls follow each click.
. "$(dirname "$0")/../lib.sh"
e2e_begin custom
e2e_start
robot <<EOF2
timeout 20000
$(walk_to "Compnenten wählen")
expect-checked 1034 1
expect-checked 1035 1
expect-checked 1036 1
expect-checked 1040 1
expect-text 1044 C:\\STATUS
expect-text 1046 Drive C:
check 1035 0
check 1040 0
expect-enabled 1052 0
check 1040 1
expect-enabled 1052 1
# Models 1 and 3, the status display and the (hidden) control panel, all on C:
expect-text 1048 9945000 bytes
expect-text 1047
click 1052
wait-window Pfad eingeben
click 1008
timeout 30000
browse-cancel
timeout 20000
wait-window Pfad eingeben
type 1024 TOOLS
click 1
wait-gone Pfad eingeben
wait-page Compnenten wählen
expect-text 1044 C:\\medium\\TOOLS
expect-text 1048 9945000 bytes
$(finish yes)
$DUMP_STATE
EOF2
has EXIT 3010
count 0 BOX

custom_state
e2e_end
