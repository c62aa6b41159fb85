#!/usr/bin/env bash
# A medium without oemsetup.inf: the program ends as failed, without a window,
# a message box or any change.
. "$(dirname "$0")/../lib.sh"
e2e_begin missing_inf
rm "$C/medium/oemsetup.inf"
e2e_start
robot <<EOF2
start C:\\medium\\kxsetup.exe
wait-exit 30000
$DUMP_STATE
EOF2
has EXIT 1603
count 0 BOX
count 0 PAGE
has NOKEY "$PRODUCT_KEY"
has NOKEY "$UNINSTALL_KEY"
nothing_registered
no_file STATUS
e2e_end
