#!/usr/bin/env bash
# The spooler refuses the second model's printer (Wine's spooler refuses a
# printer whose key has no data type: that seed is taken away for PCL 5e) after
# the files, the record, the entry, the class section, the monitor, two drivers
# and the first printer were added: the quiet run ends with 1603 and removes
# what it added, restoring what it wrote over. The machine is then as before
# the run, first on a fresh machine, then over an installation of the PS model
# whose class settings key and INI file were changed since: the class
# section's DelReg takes that key and its INI line rewrites the file, and the
# undo puts both back as they were; the log lists the undo steps, each done.
. "$(dirname "$0")/../lib.sh"
e2e_begin undo_refused_printer
e2e_start
PRINTERS='HKLM\System\CurrentControlSet\Control\Print\Printers'
REFUSED='Kalyx Q70/Q90 PCL 5e'
timeout 60 "$WINE" reg delete "$PRINTERS\\$REFUSED" /f >/dev/null 2>&1 </dev/null \
  || fail "the data type seed of $REFUSED could not be taken away"

# refused_run <name> [<option>]: the quiet run, between two snapshots.
refused_run() {
  snapshot "$1-before"
  robot <<EOF2
note run-$1
start C:\\medium\\kxsetup.exe /quiet /log=C:\\e2e\\log-$1.txt ${2:-}
wait-exit-quiet 60000
EOF2
  section "run-$1"
  quiet_run 1603
  snapshot "$1-failed"
  log_has "e2e/log-$1.txt" '> spooler add printer "Kalyx Q70/Q90 PCL 6" '
  log_has "e2e/log-$1.txt" "> spooler add driver \"$REFUSED\" "
  log_has "e2e/log-$1.txt" "> spooler add printer \"$REFUSED\" "
  undone "log-$1.txt"
  rolled_back "$1-before" "$1-failed" "$REFUSED"
}

refused_run fresh
log_has e2e/log-fresh.txt "> spooler add monitor \"$MONITOR\" "

# The removal of the PCL 6 printer took its data type seed along.
timeout 60 "$WINE" reg add "$PRINTERS\\Kalyx Q70/Q90 PCL 6" /v Datatype /d RAW /f >/dev/null 2>&1 </dev/null \
  || fail "the data type seed of PCL 6 could not be put back"
install_models 3
SETTINGS='HKLM\Software\Kalyx\Q70Q90\Settings'
timeout 60 "$WINE" reg add "$SETTINGS" /v Tray /d Upper /f >/dev/null 2>&1 </dev/null \
  && timeout 60 "$WINE" reg add "$SETTINGS\\Duplex" /v Mode /t REG_DWORD /d 2 /f >/dev/null 2>&1 </dev/null \
  || fail "the class settings could not be changed"
printf '[Q70Q90]\r\nInstalled=earlier\r\nTray=Upper\r\n' >"$C/windows/kalyx.ini"
# A whole second: Windows keeps file times in steps of 100 ns, Linux in 1 ns.
touch -d "@$(date +%s)" "$C/windows/kalyx.ini"
cp "$C/windows/kalyx.ini" "$RUN/kalyx.ini"
refused_run existing /models=1,2
log_has e2e/log-existing.txt '> ini update kalyx.ini,Q70Q90,,Installed=1 (section ClassInstall)'
log_has e2e/log-existing.txt "> registry delete HKLM,Software\Kalyx\Q70Q90\Settings (section ClassInstall)"
log_has e2e/log-existing.txt '< restore C:\windows\kalyx.ini'
log_has e2e/log-existing.txt "< registry restore $SETTINGS with its values and subkeys"
cmp -s "$RUN/kalyx.ini" "$C/windows/kalyx.ini" || fail "C:/windows/kalyx.ini was not put back"
e2e_end
