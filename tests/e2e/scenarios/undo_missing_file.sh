#!/usr/bin/env bash
# A medium that lacks one model file: the quiet run's copy stops there, after
# other files were copied, with 1603, and the run undoes everything it changed
# up to then (the record, the status folder, the copied files; over an
# existing installation the files it wrote over get their old content back).
# The machine is then as before the run, first on a fresh machine, then over
# an installation of the other models. The log lists the undo steps, each
# done, and the plan of the run lists the same steps.
. "$(dirname "$0")/../lib.sh"
e2e_begin undo_missing_file
e2e_start
SETUP='C:\medium\kxsetup.exe'

rm "$C/medium/kxps.hlp"
plan_unchanged fresh 1603 "$SETUP"
run_as_planned fresh "$SETUP"
snapshot fresh-failed
log_has e2e/log-fresh.txt 'copied C:\medium\kxps.dll -> '
log_has e2e/log-fresh.txt 'copy failed C:\medium\kxps.hlp -> '
undone log-fresh.txt
rolled_back fresh-after fresh-failed

cp "$KX_E2E_MEDIUM/kxps.hlp" "$C/medium/"
install_models 1,2
rm "$C/medium/kxps.hlp"
plan_unchanged existing 1603 "$SETUP /models=3"
run_as_planned existing "$SETUP /models=3"
snapshot existing-failed
log_has e2e/log-existing.txt 'copied C:\medium\tremon.dll -> '
log_has e2e/log-existing.txt 'copy failed C:\medium\kxps.hlp -> '
undone log-existing.txt
rolled_back existing-after existing-failed
e2e_end
