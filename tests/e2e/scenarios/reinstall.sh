#!/usr/bin/env bash
# Two installations on one machine: first the PCL 6 model alone, then the PS
# model with the status display tool. The record's component set accumulates
# (33, then 33 | 52 = 53) instead of being replaced, and the first run's
# printer stays while the second adds its own.
. "$(dirname "$0")/../lib.sh"
e2e_begin reinstall
e2e_start

custom_install() {  # the check boxes to untick
  walk_to "Compnenten wählen"
  local id
  for id in "$@"; do echo "check $id 0"; done
  finish no
}

robot <<EOF2
timeout 20000
$(custom_install 1035 1036 1040)
note first
$DUMP_STATE
EOF2
section first
reg "$PRODUCT_KEY" InstallSections 33
has_printer 'PCL 6' LPT1:
no_printer 'Kalyx Q70/Q90 PS'
group_commands
count 6

robot <<EOF2
timeout 20000
note run2
$(custom_install 1034 1035)
note second
$DUMP_STATE
EOF2
section
count 2 EXIT
count 2 EXIT 3010
count 0 BOX

section second
reg "$PRODUCT_KEY" InstallSections 53
has_printer 'PCL 6' LPT1:
has_printer PS LPT1:
no_printer 'Kalyx Q70/Q90 PCL 5e'
runonce_starts 2
# The second run sends the group's seven commands again, the tool item now included.
group_commands
count 13
has '[AddItem("C:\STATUS\kxcons.exe",KxConsole,,0)]\0'
file_from_medium STATUS/kxcons.exe kxcons.exe
file_from_medium "$DRIVERS/kxps.dll" kxps.dll
e2e_end
