#!/usr/bin/env bash
# A medium whose oemsetup.inf names no layout file: the program says so in one
# system error box captioned "GetLastError--Layout.inf" and then installs as
# usual (the files lie next to the program, where it looks for them anyway).
. "$(dirname "$0")/../lib.sh"
e2e_begin no_layout
sed -i '/^LayoutFile/d' "$C/medium/oemsetup.inf"
e2e_start
robot <<EOF2
timeout 20000
start C:\\medium\\kxsetup.exe
ok-box GetLastError--Layout.inf
wait-page Willkommen 30000
$(pages_to "Installations Type")
$(finish yes)
$DUMP_STATE
EOF2
count 1 BOX
count 1 BOX GetLastError--Layout.inf
has PRESS GetLastError--Layout.inf 1
awk -F'\t' '$1 == "BOX" && $3 == "" { exit 1 }' "$VIEW" || fail "the layout box has no text"
has EXIT 3010
reg "$PRODUCT_KEY" InstallSections 55
file_from_medium STATUS/kxsetup.exe kxsetup.exe
file_from_medium "$DRIVERS/kxps.dll" kxps.dll
has_printer PS LPT1:
group_commands
count 7
e2e_end
