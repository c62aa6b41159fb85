#!/usr/bin/env bash
# /verify after a quiet Express install that has since drifted: a model file
# deleted from the driver folder (the spooler's own copy in the version folder
# stays), the status folder's kxsetup.exe overwritten with other bytes of the
# same size, and one printer deleted. The quiet run names exactly those three
# items as missing, changed and missing, finds everything else ok, ends with
# 1603 and names the first drift in its summary. Without /quiet the same run
# shows that summary in one box and nothing else.
. "$(dirname "$0")/../lib.sh"
e2e_begin verify_drift
e2e_start
quiet_express_install install.log

GONE_PRINTER='Kalyx Q70/Q90 PS'
rm "$C/$DRIVERS/kxps.dll"
[ -f "$C/$DRIVERS/3/kxps.dll" ] || fail "the spooler keeps no copy of kxps.dll in its version folder"
# One byte flipped: the size stays, only the content tells.
exe=$C/STATUS/kxsetup.exe
byte=$(od -An -tu1 -j4096 -N1 "$exe")
printf "\\$(printf %03o $((byte ^ 255)))" | dd of="$exe" bs=1 seek=4096 conv=notrunc status=none
cmp -s "$exe" "$C/medium/kxsetup.exe" && fail "C:\\STATUS\\kxsetup.exe is still the medium's"
# Wine's spooler reads its printers from the registry each time.
timeout 60 "$WINE" reg delete "HKLM\\System\\CurrentControlSet\\Control\\Print\\Printers\\$GONE_PRINTER" /f \
  >/dev/null 2>&1 </dev/null || fail "the printer $GONE_PRINTER could not be deleted"

robot <<EOF2
note verify-quiet
start C:\\medium\\kxsetup.exe /verify /quiet /log=C:\\e2e\\verify.log
wait-exit-quiet 30000
EOF2
section verify-quiet
quiet_run 1603
cp "$C/e2e/verify.log" "$RUN/verify.log"
log=$(tr -d '\r' <"$C/e2e/verify.log" | cut -c25-)
items=$(grep '^verify [^:]' <<<"$log") || true
drifts=$(grep -v ': ok$' <<<"$items") || true
[ "$(sort <<<"$drifts")" = "$(sort <<EOF2
verify file $DRIVERS_WIN\\kxps.dll: missing
verify file C:\\STATUS\\kxsetup.exe: changed
verify printer $GONE_PRINTER: missing
EOF2
)" ] || fail "the items not ok are not the three drifts:"$'\n'"$drifts"
# The twins of the drifted items are still checked, and found intact.
for item in "printer driver $GONE_PRINTER" "printer driver file $DRIVERS_WIN\\3\\kxps.dll"; do
  grep -Fxq "verify $item: ok" <<<"$items" || fail "verify.log lacks: verify $item: ok"
done
n=$(grep -c . <<<"$items")
summary="The installation has changed (3 of $n items): $(head -1 <<<"$drifts" | cut -c8-)"
log_has e2e/verify.log "verify: $summary"
log_has e2e/verify.log 'exit 1603'

robot <<EOF2
note verify-box
start C:\\medium\\kxsetup.exe /verify
ok-box Installation
wait-exit 30000
EOF2
section verify-box
count 1 BOX
has BOX Installation "$summary"
has EXIT 1603
e2e_end
