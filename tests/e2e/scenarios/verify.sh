#!/usr/bin/env bash
# /verify after a quiet Express install: on a machine without an installation
# it ends with 1605 and says so; after the install, from the medium and from
# the status folder's copy, it finds every item intact and ends with 0. Its
# items are exactly the installation's: each file the install copied, the
# status folder, the language monitor, each model's driver, the driver's files
# and its printer, each value of the uninstall entry. The machine is byte for
# byte the same before and after it.
. "$(dirname "$0")/../lib.sh"
e2e_begin verify
e2e_start

robot <<EOF2
note nothing-installed
start C:\\medium\\kxsetup.exe /verify /quiet /log=C:\\e2e\\verify-none.log
wait-exit-quiet 30000
EOF2
section nothing-installed
quiet_run 1605
log_has e2e/verify-none.log 'verify: no installation is recorded'

quiet_express_install install.log

# What an intact installation has to show, taken from the install's log (the
# files it queued) and from the machine (the spooler's drivers and printers,
# the entry's values), every one "ok".
expected=$(verify_items e2e/install.log)
[ "$(grep -c '^verify file ' <<<"$expected")" = 20 ] || fail "the install log names $(grep -c '^verify file ' <<<"$expected") copies, expected 20"

snapshot before
robot <<EOF2
note verify-medium
start C:\\medium\\kxsetup.exe /verify /quiet /log=C:\\e2e\\verify.log
wait-exit-quiet 30000
EOF2
section verify-medium
quiet_run 0
snapshot after
same_snapshots before after

verified e2e/verify.log "$expected"
log_has e2e/verify.log 'mode: verify, quiet'
log_has e2e/verify.log "verify: The installation is intact ($(grep -c . <<<"$expected") items)."
log_has e2e/verify.log 'exit 0'

robot <<EOF2
note verify-status-folder
start C:\\STATUS\\kxsetup.exe /verify /quiet
wait-exit-quiet 30000
EOF2
section verify-status-folder
quiet_run 0
e2e_end
