#!/usr/bin/env bash
# A quiet Express install killed between the first model's driver and its
# printer, and its journal then damaged. A file that is no journal at all
# stops the same install again before its first change: 1603, the log and
# the box say why, and marker, journal and backups stay for the
# administrator. The journal cut in the middle of its last step instead:
# the same install takes back every whole step, names the cut one in its
# log, and completes as a quiet Express install.
. "$(dirname "$0")/../lib.sh"
e2e_begin interrupted_torn
e2e_start

interrupt '> spooler add driver "Kalyx Q70/Q90 PCL 6" ' '  ok'
name=$(cd "$C/windows" && ls -d kxsetup-run-*)
journal=$C/windows/$name/journal
cp "$journal" "$RUN/journal-whole"

# Where the last step starts, and its number.
size=$(stat -c %s "$journal") at=4 steps=0 last=4 data=0
while ((at + 16 <= size)); do
  read -r _ data line < <(od -An -tu4 -j$at -N12 "$journal")
  last=$at steps=$((steps + 1)) at=$((at + 16 + data + line))
done
((at == size && steps > 1)) || fail "the journal's steps do not end with the file ($at of $size bytes)"

printf 'XXXX' | dd of="$journal" conv=notrunc status=none
robot <<EOF2
note unread
start C:\\medium\\kxsetup.exe /defaultprinter /quiet /log=C:\\e2e\\log-unread.txt
wait-exit-quiet 60000
EOF2
section unread
quiet_run 1603
cp "$C/e2e/log-unread.txt" "$RUN/" 2>/dev/null || true
log_has e2e/log-unread.txt "interrupted installation: C:\\windows\\$name\\journal is not a journal of this program"
log_has e2e/log-unread.txt "box \"Install Error\" \"An interrupted installation was found, but its journal in C:\\windows\\$name cannot be read: nothing was changed, and the journal and its backups are kept there.\": OK (quiet)"
action_lines "$RUN/log-unread.txt" | grep -q . && fail "the run with an unread journal changed something"
journal_left

head -c $((last + 16 + 8)) "$RUN/journal-whole" >"$journal"
taken_back_by_install
log_has e2e/log-reinstall.txt "journal step $steps ("
tr -d '\r' <"$RUN/log-reinstall.txt" | grep -q "journal step $steps (kind [0-9]*) is cut or garbled" ||
  fail "the reinstall's log does not name the cut step $steps"
e2e_end
