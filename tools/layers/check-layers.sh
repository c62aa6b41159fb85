#!/usr/bin/env bash
# The program's folders from the ground up; a file may include its own folder's
# header and those of the folders below it, never one above. resources/ holds
# only ids and runtime/ stands apart: both may be included from anywhere.
set -euo pipefail
cd "${1:-$(dirname "$0")/../..}"
layers=(base change setupdata rules "spooler integration" "wizard run" shell)
status=0
for ((i = 0; i < ${#layers[@]}; i++)); do
  above=()
  for ((j = i + 1; j < ${#layers[@]}; j++)); do above+=(${layers[j]}); done
  [ ${#above[@]} -gt 0 ] || continue
  pattern="#include \"($(IFS='|'; echo "${above[*]}"))/"
  for folder in ${layers[i]}; do
    if grep -nE "$pattern" "$folder"/*.cpp "$folder"/*.h; then status=1; fi
  done
done
# spooler and integration stand side by side, and so do the wizard and the
# run (the entry hands the run the wizard as its choice step): neither of a
# pair includes the other.
grep -nE '#include "integration/' spooler/* && status=1
grep -nE '#include "spooler/' integration/* && status=1
grep -nE '#include "run/' wizard/* && status=1
grep -nE '#include "wizard/' run/* && status=1
[ $status = 0 ] && echo "layers: no include points upward"
exit $status
