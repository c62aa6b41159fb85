#!/usr/bin/env bash
# Cancel on each of the five wizard pages, one run per page: every run ends as
# cancelled without a question, and the machine is as it was (no record, no
# files, no printers, no RunOnce entries, no group commands).
. "$(dirname "$0")/../lib.sh"
e2e_begin cancel
e2e_start

to_page() {  # the clicks from the welcome page to page $1 (1..5)
  local pages=("Willkommen" "Port auswählen" "Drucker anwählen" "Installations Type" "Compnenten wählen")
  echo "start C:\\medium\\kxsetup.exe"
  echo "wait-page Willkommen 30000"
  local i
  for ((i = 1; i < $1; i++)); do
    [ $i = 4 ] && echo "radio 1026"
    echo "click 12324"
    echo "wait-page ${pages[$i]}"
  done
  echo "click 2"
  echo "wait-exit 30000"
}

robot <<EOF2
timeout 20000
$(for p in 1 2 3 4 5; do to_page $p; done)
$DUMP_STATE
EOF2
count 5 EXIT
count 5 EXIT 1602
count 0 BOX
count 0 PRESS
has NOKEY "$PRODUCT_KEY"
has NOKEY "$UNINSTALL_KEY"
has NOKEY "$CLASS_KEY"
no_value "$RUNONCE_KEY" GrpConv
runonce_starts 0
for model in 'PCL 6' 'PCL 5e' PS; do no_printer "Kalyx Q70/Q90 $model"; done
count 0 DRIVER
count 0 MONITOR "$MONITOR"
has PROFILE windows device '(none)'
has DDECOUNT 0
no_file STATUS
no_file windows/system32/tremon.dll
no_file "$DRIVERS/kxpcl6.dll"
e2e_end
