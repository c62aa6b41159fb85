#!/usr/bin/env bash
# An earlier release's installation at its default place, as XP and later
# leave it: C:\STATUS took over entries that let every user change it (here a
# directory whose mode lets others write), and its record keeps no hashes.
# The uninstall from the medium reads nothing there and deletes the
# installation's files; an upgrade over the folder, where a user put a
# kxsetup.exe of a higher version, lands the medium's program there.
. "$(dirname "$0")/../lib.sh"
e2e_begin earlier_release
mkdir -m 1777 "$C/STATUS"
chmod 1777 "$C/STATUS"
earlier_files() {
  cp "$C/medium/kxsetup.exe" "$C/medium/oemsetup.inf" "$C/medium/kxcons.exe" "$C/medium/kxcons.ini" "$C/STATUS/"
}
earlier_files
seed_key 'Software\VelbaPrinter\VelbaProduct\PrinterInfo' '"InstallSections"="17"' \
  '"StatusDisplayDir"="C:\\STATUS=66010"' '"ControlPanelDir"="C:\\STATUS=66010"'
e2e_start
robot <<EOF2
timeout 20000
note uninstall-run
start C:\\medium\\kxsetup.exe Uninstall /quiet /log=C:\\e2e\\uninstall.log
wait-exit-quiet 60000
EOF2
section uninstall-run
quiet_run 0
log_has e2e/uninstall.log 'status folder C:\STATUS may be changed by other users: only its files are deleted'
no_file STATUS/kxcons.exe
no_file STATUS/kxcons.ini

# A program of a higher version (one of Wine's own DLLs) in its place.
earlier_files
cp "$C/windows/system32/kernel32.dll" "$C/STATUS/kxsetup.exe"
robot <<EOF2
timeout 20000
note install-run
start C:\\medium\\kxsetup.exe /quiet /log=C:\\e2e\\install.log
wait-exit-quiet 60000
EOF2
section install-run
quiet_run 0
log_has e2e/install.log '> delete C:\STATUS\kxsetup.exe: another account could have written it'
file_from_medium STATUS/kxsetup.exe kxsetup.exe
file_from_medium STATUS/kxcons.exe kxcons.exe
e2e_end
