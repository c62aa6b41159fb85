#!/usr/bin/env bash
# An installation's life: a quiet install of the three models, the quiet
# uninstall, a quiet install of the first model alone, then /verify. The
# record's component set still names all three models; /verify checks what the
# last install made (its queued files, the one model's driver with its files
# and its printer) and ends with 0. No run asks for a restart, so each quiet
# run ends with 0; an uninstall after the uninstall finds nothing installed
# and ends with 1605.
. "$(dirname "$0")/../lib.sh"
e2e_begin verify_reinstall
e2e_start

quiet() {  # <note> <command line>: the run, no window, no box, its exit code
  robot <<EOF2
note $1
start $2
wait-exit-quiet 60000
EOF2
  section "$1"
  count 0 WINDOW
  count 0 BOX
}

quiet install-three 'C:\medium\kxsetup.exe /quiet /type=minimum /log=C:\e2e\install-three.log'
has EXIT 0
quiet uninstall 'C:\STATUS\kxsetup.exe Uninstall /quiet /log=C:\e2e\uninstall.log'
has EXIT 0
log_has e2e/uninstall.log 'restart: not needed'
reseed_spooler_quirk
quiet install-one 'C:\medium\kxsetup.exe /quiet /models=1 /statusdisplay=no /log=C:\e2e\install-one.log'
has EXIT 0

robot <<EOF2
note reinstalled
$DUMP_STATE
EOF2
section reinstalled
reg "$PRODUCT_KEY" InstallSections 39
reg "$PRODUCT_KEY" InstalledComponents 33
has_printer 'PCL 6' LPT1:
count 1 DRIVER 'Kalyx'

# The last install's items, every one "ok": each file it queued, the status
# folder, the monitor, the one model's driver, its files and its printer (the
# keys reseed_spooler_quirk left are listed without a port), the entry's
# values.
expected=$(
  tr -d '\r' <"$C/e2e/install-one.log" | cut -c25- | sed -n 's/^> copy .* -> \(.*\) ([0-9]* bytes)$/verify file \1: ok/p'
  echo 'verify status folder C:\STATUS: ok'
  echo "verify language monitor $MONITOR: ok"
  K=$UNINSTALL_KEY awk -F'\t' '
    $1 == "DRIVER" && $2 ~ /^Kalyx / {
      print "verify printer driver " $2 ": ok"
      for (i = 5; i <= 8; i++) print "verify printer driver file " $i ": ok"
    }
    $1 == "PRINTER" && $2 ~ /^Kalyx / && $4 != "(null)" { print "verify printer " $2 ": ok" }
    $1 == "REG" && $2 == ENVIRON["K"] { print "verify uninstall entry value " $3 ": ok" }' "$VIEW"
)
[ "$(grep -c '^verify file ' <<<"$expected")" = 8 ] ||
  fail "the install log names $(grep -c '^verify file ' <<<"$expected") copies, expected 8"

quiet verify 'C:\STATUS\kxsetup.exe /verify /quiet /log=C:\e2e\verify.log'
has EXIT 0
cp "$C/e2e/verify.log" "$RUN/verify.log"
items=$(tr -d '\r' <"$C/e2e/verify.log" | cut -c25- | grep '^verify [^:]') || true
[ "$(sort <<<"$items")" = "$(sort <<<"$expected")" ] ||
  fail "the verify items are not the last installation's:"$'\n'"$(diff <(sort <<<"$expected") <(sort <<<"$items") | head -30)"
log_has e2e/verify.log "verify: The installation is intact ($(grep -c . <<<"$expected") items)."

quiet uninstall-again 'C:\STATUS\kxsetup.exe Uninstall /quiet /log=C:\e2e\uninstall.log'
has EXIT 0
quiet uninstall-nothing 'C:\STATUS\kxsetup.exe Uninstall /quiet /log=C:\e2e\uninstall-nothing.log'
has EXIT 1605
log_has e2e/uninstall-nothing.log 'box "Installation" "No installation was found to uninstall.": OK (quiet)'
e2e_end
