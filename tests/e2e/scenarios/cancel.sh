#!/usr/bin/env bash
# Cancel on each of the five wizard pages, one run per page: every run ends as
# cancelled without a question, and the machine is as it was (no record, no
# files, no printers, no RunOnce entries, no group commands).
. "$(dirname "$0")/../lib.sh"
e2e_begin cancel
e2e_start

cancel_on() {  # the clicks from the start to Cancel on page $1
  walk_to "$1"
  echo "click 2"
  echo "wait-exit 30000"
}

robot <<EOF2
timeout 20000
$(for p in Willkommen "Port auswählen" "Drucker anwählen" "Installations Type" "Compnenten wählen"; do
    cancel_on "$p"
  done)
$DUMP_STATE
EOF2
count 5 EXIT
count 5 EXIT 1602
count 0 BOX
count 0 PRESS
nothing_changed
e2e_end
