#!/usr/bin/env bash
# Versions: a quiet Express install of this version (1.0), then a quiet
# install from a medium of the next one (1.1, which no longer installs
# kxcons.ini): one log line "upgrade from 1.0 to 1.1", kxcons.ini deleted, the
# record, the entry and its name of 1.1, and /verify of 1.1 ends with 0. Then
# 1.0 again, quiet and with its box: 1638, the box names both versions, and
# nothing on the machine changed.
. "$(dirname "$0")/../lib.sh"
: "${KX_E2E_NEXT:?}"
e2e_begin versions
e2e_start
quiet_express_install install.log
reg "$PRODUCT_KEY" Version 1.0

# The next version's medium: its program, and its setup information without
# kxcons.ini; its digest list made again for both.
next=$C/medium11
cp -a "$C/medium" "$next"
cp "$KX_E2E_NEXT" "$next/kxsetup.exe"
rm "$next/kxcons.ini"
sed -i '/^kxcons\.ini/d' "$next/oemsetup.inf"
cmake -DMEDIUM="$next" -P "$(dirname "$0")/../../../tools/medium/digests.cmake" || fail "no digest list for the 1.1 medium"

robot <<EOF2
note upgrade
start C:\\medium11\\kxsetup.exe /quiet /log=C:\\e2e\\upgrade.log
wait-exit-quiet 60000
note upgraded
$DUMP_STATE
start C:\\medium11\\kxsetup.exe /verify /quiet /log=C:\\e2e\\verify.log
wait-exit-quiet 30000
EOF2
section upgrade
quiet_run 0
cp "$C/e2e/upgrade.log" "$RUN/upgrade.log"
[ "$(grep -c 'upgrade from' "$C/e2e/upgrade.log")" = 1 ] || fail "not one upgrade line"
log_has e2e/upgrade.log 'upgrade from 1.0 to 1.1'
log_has e2e/upgrade.log '> delete C:\STATUS\kxcons.ini: version 1.1 no longer installs it'
no_file STATUS/kxcons.ini
cmp -s "$C/STATUS/kxsetup.exe" "$next/kxsetup.exe" || fail "C:\\STATUS\\kxsetup.exe is not 1.1's"
section upgraded
reg "$PRODUCT_KEY" Version 1.1
reg "$UNINSTALL_KEY" DisplayName 'Velba Printer Version 1.1'
reg "$UNINSTALL_KEY" DisplayVersion '1.1'
has REG "$UNINSTALL_KEY" VersionMinor REG_DWORD 4 1
quiet_run 0
log_has e2e/verify.log 'verify: The installation is intact'

downgrade='Velba Printer 1.1 is installed, which is newer than this setup'"'"'s version 1.0: nothing was changed.'
snapshot downgrade-before
robot <<EOF2
note downgrade-quiet
start C:\\medium\\kxsetup.exe /quiet /log=C:\\e2e\\downgrade.log
wait-exit-quiet 30000
note downgrade-box
start C:\\medium\\kxsetup.exe
ok-box Installation
wait-exit 30000
EOF2
section downgrade-quiet
quiet_run 1638
log_has e2e/downgrade.log "box \"Installation\" \"$downgrade\": OK (quiet)"
section downgrade-box
count 1 BOX
has BOX Installation "$downgrade"
has EXIT 1638
snapshot downgrade-after
same_snapshots downgrade-before downgrade-after
e2e_end
