#!/usr/bin/env bash
# /plan=FILE before a roll-out: the plan of an Express install (the command
# line without /quiet: a plan is quiet by itself) and of the uninstall that
# follows it while the status display tool runs changes nothing on the
# machine, shows no window and lists exactly the changes that the quiet runs
# with the same options then log. A plan of a run that cannot complete (no
# room on the status folder's drive) says why and ends with 1603; a plan with
# a log as well is refused with 1639, in the plan and without a window; the
# plan of an install from a medium that lacks a file ends with 1603 where the
# run's copy stops. These change nothing either.
. "$(dirname "$0")/../lib.sh"
e2e_begin plan_express
e2e_start
SETUP='C:\medium\kxsetup.exe'

# Q: names no drive and counts as 0 bytes free.
plan_unchanged short_drive 1603 "$SETUP /statusdir=Q:\\STATUS"
tr -d '\r' <"$PLAN" | grep -Eq ' space: drive Q: needs [0-9]+ bytes and [0-9]+ to spare, has 0 free: [0-9]+ bytes missing$' \
  || fail "the short-drive plan does not name the drive and the bytes missing"
tr -d '\r' <"$PLAN" | grep -Fq ' box "Install Error" "Dirve Q: has no enough space!"' \
  || fail "the short-drive plan lacks the box line"
[ "$(tr -d '\r' <"$PLAN" | tail -1 | cut -d' ' -f3-)" = "exit 1603" ] || fail "the short-drive plan does not end with exit 1603"

plan_unchanged with_log 1639 "$SETUP /log=C:\\e2e\\log-with_log.txt"
[ "$(tr -d '\r' <"$PLAN" | tail -1 | cut -d' ' -f3-)" = "exit 1639" ] || fail "the plan with a log does not end with exit 1639"

plan_unchanged express 0 "$SETUP"
entry_actions "$PLAN" 'C:\STATUS'
run_as_planned express "$SETUP"

# The uninstall while the status display tool runs: the plan lists the close
# request but does not send it.
robot <<EOF2
spawn C:\\STATUS\\kxcons.exe --log=C:\\e2e\\kxcons.log --quit-after=60000
wait-window Printer Status Display
EOF2
plan_unchanged uninstall 0 'C:\STATUS\kxsetup.exe Uninstall'
robot <<<'wait-window Printer Status Display 1000'
[ "$(tr -d '\r' <"$C/e2e/kxcons.log" | sed 's/^started [0-9]*$/started/')" = started ] \
  || fail "the uninstall plan reached the status display tool: $(cat "$C/e2e/kxcons.log")"
run_as_planned uninstall 'C:\STATUS\kxsetup.exe Uninstall'
robot <<<'wait-gone Printer Status Display 10000'

# A medium without one of its files: the quiet run's copy stops there with
# 1603, and so does the plan, after the same lines.
rm "$C/medium/kxps.hlp"
plan_unchanged missing_file 1603 "$SETUP"
run_as_planned missing_file "$SETUP"
e2e_end
