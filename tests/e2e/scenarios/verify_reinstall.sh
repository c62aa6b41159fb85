#!/usr/bin/env bash
# An installation's life: a quiet install of the three models, the uninstall,
# a quiet install of the first model alone, then /verify: the record's
# component set still names all three, and /verify checks what the last
# install made (its files, the one model's driver, files and printer) and ends
# with 0. No run needs a restart, so each quiet run ends with 0; an uninstall
# after the uninstall finds nothing installed (1605).
. "$(dirname "$0")/../lib.sh"
e2e_begin verify_reinstall
e2e_start

quiet() {  # <note> <exit code> <command line>
  robot <<EOF2
note $1
start $3
wait-exit-quiet 60000
$DUMP_STATE
EOF2
  section "$1"
  quiet_run "$2"
}

quiet install-three 0 'C:\medium\kxsetup.exe /quiet /type=minimum'
quiet uninstall 0 'C:\STATUS\kxsetup.exe Uninstall /quiet'
reseed_spooler_quirk
quiet install-one 0 'C:\medium\kxsetup.exe /quiet /models=1 /statusdisplay=no /log=C:\e2e\install-one.log'
reg "$PRODUCT_KEY" InstallSections 39
reg "$PRODUCT_KEY" InstalledComponents 33
expected=$(verify_items e2e/install-one.log)
[ "$(grep -c '^verify printer Kalyx' <<<"$expected")" = 1 ] || fail "not one printer to verify: $expected"

quiet verify 0 'C:\STATUS\kxsetup.exe /verify /quiet /log=C:\e2e\verify.log'
cp "$C/e2e/verify.log" "$RUN/verify.log"
verified e2e/verify.log "$expected"

quiet uninstall-again 0 'C:\STATUS\kxsetup.exe Uninstall /quiet'
quiet uninstall-nothing 1605 'C:\STATUS\kxsetup.exe Uninstall /quiet /log=C:\e2e\nothing.log'
log_has e2e/nothing.log 'box "Installation" "No installation was found to uninstall.": OK (quiet)'
e2e_end
