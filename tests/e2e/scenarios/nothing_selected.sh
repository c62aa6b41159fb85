#!/usr/bin/env bash
# Custom with every box unticked: no model and no tool. The program and its INF
# still go to the status folder (so that the uninstall item works), the language
# monitor is registered, but no printer is added and "Stand. einst." has no
# printer to make the default.
. "$(dirname "$0")/../lib.sh"
e2e_begin nothing_selected
e2e_start
robot <<EOF2
timeout 20000
$(walk_to "Compnenten wählen")
check 1034 0
check 1035 0
check 1036 0
check 1040 0
expect-enabled 1052 0
$(finish yes)
$DUMP_STATE
EOF2
has EXIT 3010
count 0 BOX
# Only the hidden control panel bit stays chosen (nothing copies it).
reg "$PRODUCT_KEY" InstallSections 32
file_from_medium STATUS/kxsetup.exe kxsetup.exe
file_from_medium STATUS/oemsetup.inf oemsetup.inf
file_from_medium windows/system32/tremon.dll tremon.dll
no_file STATUS/kxcons.exe
no_file "$DRIVERS/kxpcl6.dll"
has MONITOR "$MONITOR" "$MONITOR_ENV" tremon.dll
no_printers
count 0 DRIVER
has PROFILE windows device '(none)'
group_commands
count 6
has '[AddItem("C:\STATUS\kxsetup.exe" Uninstall,Uninstall,,0)]\0'
e2e_end
