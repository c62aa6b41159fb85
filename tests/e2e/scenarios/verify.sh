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
# files it copied) and from the machine (the spooler's drivers and printers,
# the entry's values), every one "ok".
expected=$(
  tr -d '\r' <"$C/e2e/install.log" | cut -c25- | sed -n 's/^copied .* -> \(.*\)$/verify file \1: ok/p'
  echo 'verify status folder C:\STATUS: ok'
  echo "verify language monitor $MONITOR: ok"
  K=$UNINSTALL_KEY awk -F'\t' '
    $1 == "DRIVER" && $2 ~ /^Kalyx / {
      print "verify printer driver " $2 ": ok"
      for (i = 5; i <= 8; i++) print "verify printer driver file " $i ": ok"
    }
    $1 == "PRINTER" && $2 ~ /^Kalyx / { print "verify printer " $2 ": ok" }
    $1 == "REG" && $2 == ENVIRON["K"] { print "verify uninstall entry value " $3 ": ok" }' "$VIEW"
)
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

log=$(tr -d '\r' <"$C/e2e/verify.log" | cut -c25-)
items=$(grep '^verify [^:]' <<<"$log") || true
[ "$(sort <<<"$items")" = "$(sort <<<"$expected")" ] \
  || fail "the verify items are not the installation's:"$'\n'"$(diff <(sort <<<"$expected") <(sort <<<"$items") | head -30)"
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
