#!/usr/bin/env bash
# The status display tool's drive has no room (Q:, which names no drive, counts
# as 0 bytes free), found after the record was written: the quiet run ends
# with 1603 and puts the record back as it was, none on a fresh machine, the
# other models' values over an existing installation. The machine is then as
# before the run; the log lists the undo steps, each done, and the plan of
# the run lists the same steps.
. "$(dirname "$0")/../lib.sh"
e2e_begin undo_short_drive
e2e_start
SHORT='C:\medium\kxsetup.exe /statusdir=Q:\STATUS'

plan_unchanged fresh 1603 "$SHORT"
run_as_planned fresh "$SHORT"
snapshot fresh-failed
log_has e2e/log-fresh.txt 'box "Install Error" "Dirve Q: has no enough space!"'
undone log-fresh.txt
rolled_back fresh-after fresh-failed

install_models 1
plan_unchanged existing 1603 "$SHORT /models=2,3"
run_as_planned existing "$SHORT /models=2,3"
snapshot existing-failed
undone log-existing.txt
rolled_back existing-after existing-failed
e2e_end
