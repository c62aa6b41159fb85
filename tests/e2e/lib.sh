# Shared set-up and checks of the end-to-end scenarios (sourced by each one).
#
# A scenario runs the real kxsetup.exe from a copy of the sample medium in a
# prefix of its own, copied from a template prefix that is made once per build
# directory. kxrobot.exe drives the program like a user and writes a transcript
# (message boxes, pages, exit codes, and dumps of the registry, the spooler and
# the profile); the checks below read that transcript, the commands that the
# recording Program Manager got, and the prefix's files.
#
# Environment (set by CTest, see CMakeLists.txt):
#   KX_E2E_BUILD    the x86_64 build directory
#   KX_E2E_MEDIUM   the sample medium (kxsetup.exe, oemsetup.inf, ...)
#   KX_E2E_ROBOT    kxrobot.exe      KX_E2E_RUNONCE   the stand-in runonce.exe
#   KX_E2E_PROGMAN  progman-recorder.exe
#   KX_E2E_PLANTED  the folder of the planted comctl32.dll and winspool.drv
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/prefix_keys.sh"
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine-env.sh"

: "${KX_E2E_BUILD:?}" "${KX_E2E_MEDIUM:?}" "${KX_E2E_ROBOT:?}" "${KX_E2E_RUNONCE:?}" "${KX_E2E_PROGMAN:?}"

wine_find

E2E_ROOT=$KX_E2E_BUILD/e2e
TEMPLATE=$E2E_ROOT/template
TAB=$'\t'

# Where the program puts things in the x86_64 build's prefix.
DRIVERS=windows/system32/spool/drivers/x64
PRODUCT_KEY='HKLM\Software\VelbaPrinter\VelbaProduct\PrinterInfo'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelbaProduct'
RUNONCE_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
CLASS_KEY='HKLM\Software\Kalyx\Q70Q90'
GROUP='Kalyx Q70/Q90 Tools'
MONITOR='Tremaro PJL Language Monitor'

FAILURES=0
GROUP_VIEWS=0
SCENARIO_START=$(date +%s)

fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

# The template: a fresh prefix with the null graphics driver, made once (the
# first of the scenarios run in parallel makes it, the others wait).
ensure_template() {
  wine_prefix "$TEMPLATE" null 180
}

# Registry keys added to the prefix before its server starts (names relative
# to HKLM).
seed_key() {  # <path below HKLM> [<"name"="value" line>...]
  prefix_key "$PFX/system.reg" "$@"
}

seed_spooler_quirk() {
  prefix_spooler_quirk "$PFX" "$KX_E2E_MEDIUM/oemsetup.inf"
}

# e2e_begin <name>: a fresh prefix for this scenario with the
# medium in C:\medium and the stand-in runonce.exe in system32. The prefix's
# server and the Program Manager recorder are started by e2e_start.
e2e_begin() {
  NAME=$1
  ensure_template
  RUN=$E2E_ROOT/run/$NAME
  PFX=$RUN/prefix
  C=$PFX/drive_c
  if [ -d "$PFX" ]; then WINEPREFIX=$PFX "$WINESERVER" -k >/dev/null 2>&1 || true; fi
  rm -rf "$RUN"
  mkdir -p "$RUN"
  cp -a "$TEMPLATE" "$PFX"
  mkdir -p "$C/e2e"
  cp -a "$KX_E2E_MEDIUM" "$C/medium"
  cp "$KX_E2E_RUNONCE" "$C/windows/system32/runonce.exe"
  export WINEPREFIX=$PFX
  trap e2e_cleanup EXIT
}

# Starts the prefix's server (kept alive: Wine works off the RunOnce entries
# whenever a server starts, and the checks read them afterwards) and the
# recording Program Manager service.
e2e_start() {
  seed_spooler_quirk
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null
  timeout 60 "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
  timeout 600 "$WINE" "$KX_E2E_PROGMAN" 'C:\e2e\progman.log' 600000 >/dev/null 2>&1 </dev/null &
  local i
  for i in $(seq 1 200); do
    [ -f "$C/e2e/progman.log.ready" ] && return 0
    sleep 0.1
  done
  echo "the Program Manager recorder did not start" >&2
  exit 1
}

e2e_cleanup() {
  local rc=$?
  if [ -n "${PFX:-}" ] && [ -d "$PFX" ]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
    timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
    # A passed scenario's prefix is of no further use; a failed one stays for a look.
    if [ $rc = 0 ] && [ $FAILURES = 0 ]; then rm -rf "$PFX"; fi
  fi
  exit $rc
}

# The robot's commands that dump the state the checks look at.
DUMP_STATE="dump-tree $PRODUCT_KEY
dump-key $UNINSTALL_KEY
dump-tree $RUNONCE_KEY
dump-key $CLASS_KEY
dump-printers
dump-drivers
dump-monitors
dump-profile windows device"

# Robot lines that drive the wizard, put into a scenario's script with $(...).
#
# next_to <page>: Next, then the page with that title.
next_to() {
  echo "click 12324"
  echo "wait-page $1"
}

# pages_to <page>: from the welcome page, Next up to the page with that title;
# the components page is reached through Custom.
pages_to() {
  local page
  [ "$1" = Willkommen ] && return 0
  for page in "Port auswählen" "Drucker anwählen" "Installations Type" "Compnenten wählen"; do
    [ "$page" = "Compnenten wählen" ] && echo "radio 1026"
    next_to "$page"
    [ "$page" = "$1" ] && return 0
  done
  echo "no-such-page $1"  # the robot refuses the script
}

# walk_to <page>: kxsetup.exe started from the medium, then pages_to <page>.
walk_to() {
  echo "start C:\\medium\\kxsetup.exe"
  echo "wait-page Willkommen 30000"
  pages_to "$1"
}

# finish <yes|no>: Finish, that answer to the default-printer offer, the end.
finish() {
  echo "click 12325"
  echo "default-printer $1"
  echo "wait-exit 60000"
}

# robot: runs kxrobot.exe with the script on standard input; its transcript is
# added to $RUN/transcript.txt (a scenario that checks between two runs calls
# it again). A failed step fails the scenario at once.
robot() {
  cat >"$C/e2e/script.txt"
  local rc=0
  timeout 200 "$WINE" "$KX_E2E_ROBOT" 'C:\e2e\script.txt' 'C:\e2e\transcript.txt' \
    >"$RUN/robot.out" 2>&1 </dev/null || rc=$?
  cat "$C/e2e/transcript.txt" >>"$RUN/transcript.txt" 2>/dev/null || true
  VIEW=$RUN/transcript.txt
  if [ $rc != 0 ]; then
    echo "kxrobot failed ($rc):" >&2
    cat "$RUN/robot.out" >&2
    echo "--- transcript" >&2
    cat "$RUN/transcript.txt" >&2
    exit 1
  fi
}

# section <note>: the checks below look only at the transcript lines after
# "note <note>" up to the next note; `section` alone: the whole transcript.
section() {
  if [ $# = 0 ]; then VIEW=$RUN/transcript.txt; return; fi
  VIEW=$RUN/section-$1.txt
  awk -v n="NOTE${TAB}$1" '$0 == n { on = 1; next } /^NOTE\t/ { on = 0 } on' "$RUN/transcript.txt" >"$VIEW"
}

# group_commands: the checks below look at the commands the recording Program
# Manager has got so far, one a line, a zero byte written as \0 (so a command
# sent with its terminating zero ends in \0).
group_commands() {
  VIEW=$RUN/progman-$((++GROUP_VIEWS)).txt
  cp "$C/e2e/progman.log" "$VIEW"
}

line_of() { local IFS=$TAB; printf '%s' "$*"; }

# has/lacks <field>...: a transcript line made of exactly these tab-separated fields.
has() {
  local l; l=$(line_of "$@")
  grep -aFxq -- "$l" "$VIEW" || fail "$(basename "$VIEW") lacks line: $l"
}
lacks() {
  local l; l=$(line_of "$@")
  if grep -aFxq -- "$l" "$VIEW"; then fail "$(basename "$VIEW") has line: $l"; fi
}
# count <n> [<field>...]: n lines begin with these fields (n lines in all without).
count() {
  local n=$1; shift
  local l got; l=$(line_of "$@")
  got=$(P=$l awk 'substr($0, 1, length(ENVIRON["P"])) == ENVIRON["P"]' "$VIEW" | wc -l)
  [ "$got" = "$n" ] || fail "$(basename "$VIEW"): $got lines begin with '$l', expected $n"
}

# no_printer <name>: the spooler lists no printer of that name. The key that
# seed_spooler_quirk leaves is enumerated by Wine as a printer without port or
# driver; that one does not count.
no_printer() {
  if awk -F'\t' -v n="$1" '$1 == "PRINTER" && $2 == n && $4 != "(null)" { f = 1 } END { exit !f }' "$VIEW"; then
    fail "printer '$1' exists"
  fi
}

# The medium's models; has_printer <model> <port>: the model's printer on that
# port with the model's driver; no_printers: none of the models' printers.
MODELS=('PCL 6' 'PCL 5e' PS)
has_printer() {
  has PRINTER "Kalyx Q70/Q90 $1" "$2" "Kalyx Q70/Q90 $1" "Kalyx Q70/Q90 $1" WinPrint 4 1
}
no_printers() {
  local model
  for model in "${MODELS[@]}"; do no_printer "Kalyx Q70/Q90 $model"; done
}

# reg <key> <name> <text>: a REG_SZ value with this text. The stored byte count
# may include one terminating zero (the registry keeps the zero that follows
# data passed without it), so one trailing \0 is not part of the text.
reg() {
  local key=$1 name=$2 want=$3 got
  got=$(awk -F'\t' -v k="$key" -v n="$name" '$1 == "REG" && $2 == k && $3 == n { print $4 "\t" $6 }' "$VIEW" | tail -1)
  got=${got%\\0}
  [ "$got" = "REG_SZ$TAB$want" ] || fail "$key\\$name: expected REG_SZ '$want', found '${got:-nothing}'"
}
# no_value <key> <name>
no_value() {
  if awk -F'\t' -v k="$1" -v n="$2" '$1 == "REG" && $2 == k && $3 == n { f = 1 } END { exit !f }' "$VIEW"; then
    fail "$1\\$2 exists"
  fi
}

# Files of the prefix, by their path below drive C.
file_from_medium() {  # <path below C:> <medium file>: the copy holds the medium's bytes
  if [ ! -f "$C/$1" ]; then fail "missing file C:/$1"
  elif ! cmp -s "$C/$1" "$C/medium/$2"; then fail "C:/$1 differs from the medium's $2"; fi
}
no_file() { if [ -e "$C/$1" ]; then fail "C:/$1 exists"; fi; }

# The stand-in runonce.exe's log: one line per start.
runonce_starts() {  # <n>
  local got=0
  [ -f "$C/windows/system32/runonce.log" ] && got=$(grep -c . "$C/windows/system32/runonce.log")
  [ "$got" = "$1" ] || fail "runonce.exe started $got times, expected $1"
  if [ "$1" != 0 ] && grep -v -q -- ' -r\r\?$' "$C/windows/system32/runonce.log"; then
    fail "runonce.exe started without -r: $(cat "$C/windows/system32/runonce.log")"
  fi
}

# nothing_registered: none of an installation's effects on the machine: no
# monitor or model files, nothing registered with the spooler, no group
# commands, no start-up conversion.
nothing_registered() {
  no_file windows/system32/tremon.dll
  no_file "$DRIVERS/kxpcl6.dll"
  count 0 MONITOR "$MONITOR"
  count 0 DRIVER
  no_printers
  no_value "$RUNONCE_KEY" GrpConv
  runonce_starts 0
  local view=$VIEW
  group_commands
  count 0
  VIEW=$view
}

e2e_end() {
  local took=$(( $(date +%s) - SCENARIO_START ))
  if [ $FAILURES != 0 ]; then
    echo "--- transcript of $NAME" >&2
    cat "$RUN/transcript.txt" >&2
    echo "$NAME: $FAILURES check(s) failed (${took}s); prefix kept in $PFX" >&2
    exit 1
  fi
  echo "$NAME: all checks passed (${took}s)"
}
