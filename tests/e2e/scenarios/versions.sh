#!/usr/bin/env bash
# A quiet install of this version (1.0), then from a medium of the next one
# (1.1, whose setup information no longer copies kxcons.ini): one log line
# "upgrade from 1.0 to 1.1", kxcons.ini deleted, record and entry of 1.1, and
# /verify of 1.1 ends with 0. Then 1.0 again, quiet and with its box: 1638,
# the box names both versions, nothing on the machine changed.
. "$(dirname "$0")/../lib.sh"
: "${KX_E2E_NEXT:?}"
e2e_begin versions
e2e_start
quiet_express_install install.log
reg "$PRODUCT_KEY" Version 1.0

next=$C/medium11
cp -a "$C/medium" "$next"
cp "$KX_E2E_NEXT" "$next/kxsetup.exe"
rm "$next/kxcons.ini"
sed -i '/^kxcons\.ini/d' "$next/oemsetup.inf"
cmake -DMEDIUM="$next" -P "$(dirname "$0")/../../../tools/medium/digests.cmake" || fail "no digest list for 1.1"
robot <<EOF2
note upgrade
start C:\\medium11\\kxsetup.exe /quiet /log=C:\\e2e\\upgrade.log
wait-exit-quiet 60000
$DUMP_STATE
start C:\\medium11\\kxsetup.exe /verify /quiet /log=C:\\e2e\\verify.log
wait-exit-quiet 30000
EOF2
section upgrade
[ "$(grep -c 'upgrade from' "$C/e2e/upgrade.log")" = 1 ] || fail "not one upgrade line"
log_has e2e/upgrade.log 'upgrade from 1.0 to 1.1'
log_has e2e/upgrade.log '> delete C:\STATUS\kxcons.ini: not in this version'
no_file STATUS/kxcons.ini
cmp -s "$C/STATUS/kxsetup.exe" "$next/kxsetup.exe" || fail "C:\\STATUS\\kxsetup.exe is not 1.1's"
reg "$PRODUCT_KEY" Version 1.1
reg "$UNINSTALL_KEY" DisplayName 'Velba Printer Version 1.1'
reg "$UNINSTALL_KEY" DisplayVersion '1.1'
has REG "$UNINSTALL_KEY" VersionMinor REG_DWORD 4 1
count 0 WINDOW
count 2 EXIT
count 2 EXIT 0
log_has e2e/verify.log 'verify: The installation is intact'

box='Velba Printer 1.1 is installed, newer than 1.0: nothing was changed.'
snapshot downgrade-before
robot <<EOF2
note downgrade
start C:\\medium\\kxsetup.exe /quiet /log=C:\\e2e\\downgrade.log
wait-exit-quiet 30000
start C:\\medium\\kxsetup.exe
ok-box Installation
wait-exit 30000
EOF2
section downgrade
count 2 EXIT 1638
count 1 BOX
has BOX Installation "$box"
log_has e2e/downgrade.log "box \"Installation\" \"$box\": OK (quiet)"
snapshot downgrade-after
same_snapshots downgrade-before downgrade-after
e2e_end
