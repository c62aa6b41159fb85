#!/usr/bin/env bash
# /repair after a quiet Express install that has drifted (a model file
# deleted, the status folder's kxsetup.exe changed, a printer deleted): its
# plan changes nothing; the quiet repair makes exactly the plan's changes,
# finds every item ok in its own check and ends with 0, and /verify agrees.
# A medium that lacks a file of the installation repairs nothing and names
# it (1603); with nothing installed a repair ends with 1605.
. "$(dirname "$0")/../lib.sh"
e2e_begin repair
e2e_start
quiet_express_install install.log

rm "$C/$DRIVERS/kxps.dll"
exe=$C/STATUS/kxsetup.exe
byte=$(od -An -tu1 -j4096 -N1 "$exe")
printf "\\$(printf %03o $((byte ^ 255)))" | dd of="$exe" bs=1 seek=4096 conv=notrunc status=none
timeout 60 "$WINE" reg delete 'HKLM\System\CurrentControlSet\Control\Print\Printers\Kalyx Q70/Q90 PS' /f \
  >/dev/null 2>&1 </dev/null || fail "the printer could not be deleted"
reseed_spooler_quirk

plan_unchanged repair 0 'C:\medium\kxsetup.exe /repair'
run_as_planned repair 'C:\medium\kxsetup.exe /repair'
log=$(tr -d '\r' <"$RUN/log-repair.txt" | cut -c25-)
for line in 'mode: repair, quiet, no restart' \
            "> copy C:\\medium\\kxps.dll -> $DRIVERS_WIN\\kxps.dll (24 bytes)" \
            '> spooler add printer "Kalyx Q70/Q90 PS" driver "Kalyx Q70/Q90 PS" port "LPT1:" processor "WinPrint"' \
            'verify: The installation is intact (53 items).'; do
  grep -Fxq "$line" <<<"$log" || fail "log-repair.txt lacks: $line"
done
robot <<EOF2
note repaired
$DUMP_STATE
start C:\\medium\\kxsetup.exe /verify /quiet /log=C:\\e2e\\verify.log
wait-exit-quiet 30000
EOF2
section repaired
quiet_run 0
has PROFILE windows device 'Kalyx Q70/Q90 PCL 6,Kalyx Q70/Q90 PCL 6,LPT1:'
verified e2e/verify.log "$(verify_items e2e/install.log)"

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
log_has e2e/short.log 'box "Install Error" "Nothing was repaired: C:\medium\q70ps.ppd is not on the medium.": OK (quiet)'
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
log_has e2e/nothing.log 'box "Installation" "No installation was found.": OK (quiet)'
e2e_end
