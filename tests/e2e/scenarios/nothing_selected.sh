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
start C:\\medium\\kxsetup.exe
wait-page Willkommen 30000
click 12324
wait-page Port auswählen
click 12324
wait-page Drucker anwählen
click 12324
wait-page Installations Type
radio 1026
click 12324
wait-page Compnenten wählen
check 1034 0
check 1035 0
check 1036 0
check 1040 0
expect-enabled 1052 0
click 12325
default-printer yes
wait-exit 60000
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
has MONITOR "$MONITOR" 'Windows NT x86' tremon.dll
for model in 'PCL 6' 'PCL 5e' PS; do no_printer "Kalyx Q70/Q90 $model"; done
count 0 DRIVER
has PROFILE windows device '(none)'
has DDECOUNT 4
has DDE '[AddItem("C:\STATUS\kxsetup.exe" Uninstall,Uninstall,,0)]\0'
e2e_end
