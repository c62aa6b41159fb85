#!/usr/bin/env bash
# Unattended runs that end before or during the install, each without a window:
# an unknown option (1639), a model the medium does not have (1639, the log
# names it) and a log in a folder that does not exist (1622) change nothing.
# Then a medium without one of its files: the copy stops at once with 1603
# instead of waiting for a disk, the log names the file, and the package is not
# listed among the removable software. Last, a system without a usable
# setupapi.dll: the program still starts (it does not import it by name), logs
# the file's full path and ends with 1603.
. "$(dirname "$0")/../lib.sh"
e2e_begin quiet_refused
e2e_start
robot <<EOF2
timeout 20000
note bad-option
start C:\\medium\\kxsetup.exe /quiet /colour=blue /log=C:\\e2e\\kx.log
wait-exit-quiet 30000
note unknown-model
start C:\\medium\\kxsetup.exe /quiet /models=1,Q99 /log=C:\\e2e\\kx.log
wait-exit-quiet 30000
note no-log-folder
start C:\\medium\\kxsetup.exe /quiet /log=C:\\nowhere\\kx.log
wait-exit-quiet 30000
note after
$DUMP_STATE
EOF2
section bad-option
quiet_run 1639
section unknown-model
quiet_run 1639
section no-log-folder
quiet_run 1622
section after
nothing_changed
no_file nowhere
log_timed e2e/kx.log
log_has e2e/kx.log 'box "kxsetup" "Unknown option /colour.'
log_has e2e/kx.log 'choice refused: the medium has no model "Q99"'
[ "$(grep -c ' exit 1639' "$C/e2e/kx.log")" = 2 ] || fail "the log does not end both refused runs with 1639"

rm "$C/medium/kxps.hlp"
robot <<EOF2
timeout 20000
note missing-run
start C:\\medium\\kxsetup.exe /quiet /log=C:\\e2e\\missing.log
wait-exit-quiet 30000
note missing
$DUMP_STATE
EOF2
section missing-run
quiet_run 1603
wall=$(awk -F'\t' '$1 == "TIMES" { print $2 }' "$VIEW")
[ "${wall:-99999}" -lt 10000 ] || fail "the run with a missing file took ${wall:-?} ms"
log_has e2e/missing.log 'copy failed C:\medium\kxps.hlp -> '
log_has e2e/missing.log 'exit 1603'
section missing
has NOKEY "$UNINSTALL_KEY"
no_printers
count 0 DRIVER
count 0 MONITOR "$MONITOR"
no_file "$DRIVERS/kxps.hlp"
group_commands
count 0

export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;setupapi=d"
robot <<EOF2
timeout 20000
note no-setupapi
start C:\\medium\\kxsetup.exe /quiet /log=C:\\e2e\\nosetupapi.log
wait-exit-quiet 30000
EOF2
section no-setupapi
quiet_run 1603
log_has e2e/nosetupapi.log 'system file C:\windows\system32\setupapi.dll not loaded, error 126'
log_has e2e/nosetupapi.log 'exit 1603'
e2e_end
