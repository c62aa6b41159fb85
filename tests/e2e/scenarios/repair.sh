#!/usr/bin/env bash
# /repair after a quiet Express install that has since drifted (a model file
# deleted, the status folder's kxsetup.exe changed, a printer deleted): its
# plan changes nothing and lists the install's changes; the quiet repair
# makes exactly those, puts the three drifts back from the medium and ends
# with 0, and /verify then finds every item ok. A medium that lacks one of
# the installation's files repairs nothing and names that file (1603); with
# nothing installed a repair ends with 1605.
. "$(dirname "$0")/../lib.sh"
e2e_begin repair
e2e_start
quiet_express_install install.log

GONE_PRINTER='Kalyx Q70/Q90 PS'
rm "$C/$DRIVERS/kxps.dll"
exe=$C/STATUS/kxsetup.exe
byte=$(od -An -tu1 -j4096 -N1 "$exe")
printf "\\$(printf %03o $((byte ^ 255)))" | dd of="$exe" bs=1 seek=4096 conv=notrunc status=none
timeout 60 "$WINE" reg delete "HKLM\\System\\CurrentControlSet\\Control\\Print\\Printers\\$GONE_PRINTER" /f \
  >/dev/null 2>&1 </dev/null || fail "the printer $GONE_PRINTER could not be deleted"
reseed_spooler_quirk

plan_unchanged repair 0 'C:\medium\kxsetup.exe /repair'
grep -q ' mode: repair, quiet, no restart, plan only' "$PLAN" || fail "the plan is not a repair's"
run_as_planned repair 'C:\medium\kxsetup.exe /repair'
cp "$RUN/log-repair.txt" "$RUN/repair.log"
log=$(tr -d '\r' <"$RUN/log-repair.txt" | cut -c25-)
grep -Fxq "repair: status folder C:\\STATUS, components 55, port LPT1:" <<<"$log" || fail "the repair does not take the recorded choices"
grep -Fxq "> copy C:\\medium\\kxps.dll -> $DRIVERS_WIN\\kxps.dll (24 bytes)" <<<"$log" || fail "the repair does not copy kxps.dll"
grep -q '^> spooler add printer "Kalyx Q70/Q90 PS" ' <<<"$log" || fail "the repair does not add the printer"
drifts=$(grep '^verify [^:]' <<<"$log" | grep -v ': ok$') || true
[ -z "$drifts" ] || fail "the repair's own check finds:"$'\n'"$drifts"
grep -q '^verify: The installation is intact' <<<"$log" || fail "the repair does not verify"
robot <<EOF2
note repaired
$DUMP_STATE
start C:\\medium\\kxsetup.exe /verify /quiet /log=C:\\e2e\\verify.log
wait-exit-quiet 30000
EOF2
section repaired
file_from_medium "$DRIVERS/kxps.dll" kxps.dll
file_from_medium STATUS/kxsetup.exe kxsetup.exe
has_printer PS LPT1:
has PROFILE windows device 'Kalyx Q70/Q90 PCL 6,Kalyx Q70/Q90 PCL 6,LPT1:'
quiet_run 0
verified e2e/verify.log "$(verify_items e2e/install.log)"

# A medium without one of the installation's files: nothing changes.
rm "$C/medium/q70ps.ppd"
snapshot short-before
robot <<EOF2
note repair-short
start C:\\medium\\kxsetup.exe /repair /quiet /log=C:\\e2e\\short.log
wait-exit-quiet 30000
EOF2
section repair-short
quiet_run 1603
snapshot short-after
same_snapshots short-before short-after
log_has e2e/short.log "repair: C:\\medium\\q70ps.ppd is not on the medium"
log_has e2e/short.log 'box "Install Error" "Nothing was repaired: 1 file(s) of the installation cannot be taken from this medium; the first: C:\medium\q70ps.ppd is not on the medium": OK (quiet)'

robot <<EOF2
note uninstall
start C:\\STATUS\\kxsetup.exe Uninstall /quiet
wait-exit-quiet 60000
note repair-nothing
start C:\\medium\\kxsetup.exe /repair /quiet /log=C:\\e2e\\nothing.log
wait-exit-quiet 30000
EOF2
section repair-nothing
quiet_run 1605
log_has e2e/nothing.log 'box "Installation" "No installation was found to repair.": OK (quiet)'
e2e_end
