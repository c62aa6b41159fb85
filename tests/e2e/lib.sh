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
#   KX_E2E_BUILD    the build directory (the exe and helpers of one width)
#   KX_E2E_ARCH     its Wine: win32 for the i686 build (the shipped exe), win64
#                   for the x86_64 build on a machine that cannot run 32-bit programs
#   KX_E2E_MEDIUM   the sample medium (kxsetup.exe, oemsetup.inf, ...)
#   KX_E2E_ROBOT    kxrobot.exe      KX_E2E_RUNONCE   the stand-in runonce.exe
#   KX_E2E_PROGMAN  progman-recorder.exe
#   KX_E2E_PLANTED  the folder of the planted comctl32.dll and winspool.drv
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/prefix_keys.sh"
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine-env.sh"

: "${KX_E2E_BUILD:?}" "${KX_E2E_MEDIUM:?}" "${KX_E2E_ROBOT:?}" "${KX_E2E_RUNONCE:?}" "${KX_E2E_PROGMAN:?}"

E2E_ARCH=${KX_E2E_ARCH:-win32}
wine_find "$E2E_ARCH"

E2E_ROOT=$KX_E2E_BUILD/e2e
TEMPLATE=$E2E_ROOT/template
TAB=$'\t'

# Where the program puts things: the shipped i686 build registers with the
# spooler's "Windows NT x86" environment, the x86_64 build with the one Wine's
# 64-bit spooler looks printers' drivers up in.
if [ "$E2E_ARCH" = win64 ]; then
  SPOOL_ENV='Windows x64'
  DRIVERS_DIR=x64
else
  SPOOL_ENV='Windows NT x86'
  DRIVERS_DIR=w32x86
fi
DRIVERS=windows/system32/spool/drivers/$DRIVERS_DIR
# Wine lists every monitor under "Windows NT x86", its own "Local Port" too,
# whatever the width of the process that asks.
MONITOR_ENV='Windows NT x86'
DRIVERS_WIN="C:\\windows\\system32\\spool\\drivers\\$DRIVERS_DIR"
PRODUCT_KEY='HKLM\Software\VelbaPrinter\VelbaProduct\PrinterInfo'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelbaProduct'
RUNONCE_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
CLASS_KEY='HKLM\Software\Kalyx\Q70Q90'
GROUP='Kalyx Q70/Q90 Tools'
MONITOR='Tremaro PJL Language Monitor'

FAILURES=0
GROUP_VIEWS=0
SCENARIO_START=${KX_E2E_STARTED:-$(date +%s)}  # kept when a scenario starts over

fail() {
  echo "FAIL: $*" >&2
  FAILURES=$((FAILURES + 1))
}

# The template: a fresh prefix of the build's width with the null graphics
# driver, made once (the first of the scenarios run in parallel makes it, the
# others wait).
ensure_template() {
  wine_prefix "$TEMPLATE" null 180 "$E2E_ARCH"
}

# Registry keys added to the prefix before its server starts (names relative
# to HKLM).
seed_key() {  # <path below HKLM> [<"name"="value" line>...]
  prefix_key "$PFX/system.reg" "$@"
}

seed_spooler_quirk() {
  prefix_spooler_quirk "$PFX" "$KX_E2E_MEDIUM/oemsetup.inf"
}

# reseed_spooler_quirk: the same keys again while the server runs, for an
# install after an uninstall, which took the seeded keys with the printers.
reseed_spooler_quirk() {
  model_names "$KX_E2E_MEDIUM/oemsetup.inf" | awk '
    BEGIN { print "REGEDIT4" }
    { print ""; print "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\" $0 "]"; print "\"Datatype\"=\"RAW\"" }
  ' >"$C/e2e/quirk.reg"
  timeout 60 "$WINE" regedit /S 'C:\e2e\quirk.reg' >/dev/null 2>&1 </dev/null
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
dump-tree $CLASS_KEY
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
  local got=0 tries=0
  # The program starts runonce.exe without waiting for it: the stand-in's
  # line may come a moment after the run has ended.
  while :; do
    [ -f "$C/windows/system32/runonce.log" ] && got=$(grep -c . "$C/windows/system32/runonce.log")
    [ "$got" -lt "$1" ] && [ $tries -lt 50 ] || break
    sleep 0.1
    tries=$((tries + 1))
  done
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

# kalyx_ini <value>: the class's INI file in the Windows folder (SetupAPI's
# place for a bare name) marks the package with Installed=<value>.
kalyx_ini() {
  local got
  got=$(tr -d '\r' <"$C/windows/kalyx.ini" 2>/dev/null) || got='(no file)'
  [ "$got" = "$(printf '[Q70Q90]\nInstalled=%s' "$1")" ] \
    || fail "C:/windows/kalyx.ini: expected [Q70Q90] Installed=$1, found: $got"
}

# nothing_changed: a run that ended before it changed anything: no record, no
# entry, no class key or INI file, nothing registered, no default printer, no
# status folder.
nothing_changed() {
  has NOKEY "$PRODUCT_KEY"
  has NOKEY "$UNINSTALL_KEY"
  has NOKEY "$CLASS_KEY"
  no_file windows/kalyx.ini
  nothing_registered
  has PROFILE windows device '(none)'
  no_file STATUS
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

# --- Installed states --------------------------------------------------------
# What a run of given choices leaves on the machine, one function per choice.
# The wizard's scenario and the quiet scenario of the same choices call the
# same function, so a quiet run is held to exactly the wizard's result. Each
# reads the current section of the transcript and the prefix's files as they
# are now (the RunOnce starts and the group commands count from a fresh prefix).

# reg_like <key> <name> <type> <extended regex>: a value of that type whose
# data matches.
reg_like() {
  local got
  got=$(awk -F'\t' -v k="$1" -v n="$2" '$1 == "REG" && $2 == k && $3 == n { print $4 "\t" $6 }' "$VIEW" | tail -1)
  got=${got%\\0}
  grep -Eqx -- "$3$TAB$4" <<<"$got" || fail "$1\\$2: expected $3 matching '$4', found '${got:-nothing}'"
}

# uninstall_entry <status folder>: the entry in the list of removable software,
# with the commands that start the copy of the program in that folder, the
# product's version and publisher, the day and the size of the install.
uninstall_entry() {
  reg "$UNINSTALL_KEY" DisplayName 'Velba Printer Version 1.0'
  reg "$UNINSTALL_KEY" DisplayVersion '1.0'
  reg "$UNINSTALL_KEY" Publisher 'Velba'
  has REG "$UNINSTALL_KEY" VersionMajor REG_DWORD 4 1
  has REG "$UNINSTALL_KEY" VersionMinor REG_DWORD 4 0
  reg "$UNINSTALL_KEY" InstallLocation "$1"
  reg_like "$UNINSTALL_KEY" InstallDate REG_SZ '20[0-9]{2}(0[1-9]|1[0-2])(0[1-9]|[12][0-9]|3[01])'
  reg_like "$UNINSTALL_KEY" EstimatedSize REG_DWORD '[1-9][0-9]*'
  reg "$UNINSTALL_KEY" UninstallString "\"$1\\kxsetup.exe\" Uninstall"
  reg "$UNINSTALL_KEY" QuietUninstallString "\"$1\\kxsetup.exe\" Uninstall /quiet"
  reg "$UNINSTALL_KEY" DisplayIcon "$1\\kxsetup.exe,0"
  has REG "$UNINSTALL_KEY" NoModify REG_DWORD 4 1
  has REG "$UNINSTALL_KEY" NoRepair REG_DWORD 4 1
}

# Express with the default printer set: everything the medium offers, for the
# three models on LPT1:, the status display tool in C:\STATUS.
express_state() {
  # The record: every offered component (three models, status display, control
  # panel = 55), the default status display folder and the uninstall entry.
  reg "$PRODUCT_KEY" InstallSections 55
  reg "$PRODUCT_KEY" StatusDisplayDir 'C:\STATUS=66010'
  reg "$PRODUCT_KEY" ControlPanelDir 'C:\STATUS=66010'
  uninstall_entry 'C:\STATUS'
  # The class section: its value, the settings key it makes afresh, its INI line.
  reg "$CLASS_KEY" ClassInstalled 1
  has REG "$CLASS_KEY\\Settings" Resolution REG_DWORD 4 600
  kalyx_ini 1

  # Files: the program and its INF in the status folder, the monitor in system32,
  # four files per model in the driver directory, the status display tool in the
  # status folder, and the models' settings files where directory id 66000 points
  # (Wine keeps 66000 on the driver directory itself and ignores the program's
  # binding to its "2" subfolder).
  file_from_medium STATUS/kxsetup.exe kxsetup.exe
  file_from_medium STATUS/oemsetup.inf oemsetup.inf
  file_from_medium STATUS/kxcons.exe kxcons.exe
  file_from_medium STATUS/kxcons.ini kxcons.ini
  file_from_medium windows/system32/tremon.dll tremon.dll
  local f m model drv data ui help d
  for f in kxpcl6.dll kxpcl6ui.dll q70pcl6.gpd kxpcl6.hlp kxpcl5e.dll kxpcl5ui.dll q70pcl5e.gpd kxpcl5e.hlp \
           kxps.dll kxpsui.dll q70ps.ppd kxps.hlp; do
    file_from_medium "$DRIVERS/$f" "$f"
  done
  for f in kxpcl6.ini kxpcl5e.ini kxps.ini; do file_from_medium "$DRIVERS/$f" "$f"; done
  no_file STATUS/kxpanel.cpl

  # The spooler: the language monitor, one driver naming it and one printer per
  # model, on the preselected port.
  has MONITOR "$MONITOR" "$MONITOR_ENV" tremon.dll
  for m in 'PCL 6:kxpcl6:q70pcl6.gpd:kxpcl6ui:kxpcl6.hlp' 'PCL 5e:kxpcl5e:q70pcl5e.gpd:kxpcl5ui:kxpcl5e.hlp' \
           'PS:kxps:q70ps.ppd:kxpsui:kxps.hlp'; do
    IFS=: read -r model drv data ui help <<<"$m"
    has_printer "$model" LPT1:
    d="$DRIVERS_WIN\\3\\"
    has DRIVER "Kalyx Q70/Q90 $model" "$SPOOL_ENV" 3 "$d$drv.dll" "$d$data" "$d$ui.dll" "$d$help" \
        "$d$drv.dll;$d$data;$d$ui.dll;$d$help;" "$MONITOR"
  done

  # The first model became the default printer.
  has PROFILE windows device 'Kalyx Q70/Q90 PCL 6,Kalyx Q70/Q90 PCL 6,LPT1:'

  # Start-up conversion: only GrpConv (the prefix has no RunOnce\Setup), stored
  # with its terminating zero, and the RunOnce processor started once.
  has REG "$RUNONCE_KEY" GrpConv REG_SZ 11 'grpconv -o\0'
  no_value "$RUNONCE_KEY" Wrapper
  runonce_starts 1

  # The program group, byte for byte, terminating zeros included.
  local view=$VIEW
  group_commands
  count 7
  has "[CreateGroup($GROUP)]\\0"
  has '[DeleteItem(Uninstall Tool)]\0'
  has '[DeleteItem(Status Display)]\0'
  has '[DeleteItem(Uninstall)]\0'
  has '[DeleteItem(KxConsole)]\0'
  has '[AddItem("C:\STATUS\kxsetup.exe" Uninstall,Uninstall,,0)]\0'
  has '[AddItem("C:\STATUS\kxcons.exe",KxConsole,,0)]\0'
  VIEW=$view
}

# minimum_state <port>: Minimum without the default printer, in a prefix with
# a RunOnce\Setup key: the models only on that port, no status display tool,
# the default printer as the transcript's first PROFILE line (dumped before the
# run) shows it.
minimum_state() {
  local port=$1 model before after
  reg "$PRODUCT_KEY" InstallSections 7
  reg "$PRODUCT_KEY" StatusDisplayDir 'C:\STATUS=66010'
  uninstall_entry 'C:\STATUS'
  file_from_medium STATUS/kxsetup.exe kxsetup.exe
  file_from_medium STATUS/oemsetup.inf oemsetup.inf
  no_file STATUS/kxcons.exe
  no_file STATUS/kxcons.ini
  for model in "${MODELS[@]}"; do has_printer "$model" "$port"; done

  before=$(grep -a -m1 "^PROFILE$TAB" "$RUN/transcript.txt")
  after=$(grep -a "^PROFILE$TAB" "$VIEW" | tail -1)
  [ "$before" = "$after" ] || fail "default printer changed: '$before' became '$after'"

  has REG "$RUNONCE_KEY" Wrapper REG_SZ 8 'runonce\0'
  has REG "$RUNONCE_KEY" GrpConv REG_SZ 11 'grpconv -o\0'
  runonce_starts 1

  # Without the status display tool the group gets no tool item.
  local view=$VIEW
  group_commands
  count 6
  has "[CreateGroup($GROUP)]\\0"
  has '[AddItem("C:\STATUS\kxsetup.exe" Uninstall,Uninstall,,0)]\0'
  count 0 '[AddItem("C:\STATUS\kxcons.exe"'
  VIEW=$view
}

# Custom with the default printer set: models 1 (PCL 6) and 3 (PS), the status
# display tool in TOOLS below the start folder C:\medium, on LPT1:.
custom_state() {
  local f
  # 0x37 without model 2: models 1 and 3, status display, control panel.
  reg "$PRODUCT_KEY" InstallSections 53
  reg "$PRODUCT_KEY" StatusDisplayDir 'C:\medium\TOOLS=66010'
  uninstall_entry 'C:\medium\TOOLS'
  file_from_medium medium/TOOLS/kxsetup.exe kxsetup.exe
  file_from_medium medium/TOOLS/kxcons.exe kxcons.exe
  file_from_medium medium/TOOLS/kxcons.ini kxcons.ini
  no_file STATUS
  for f in kxpcl6.dll kxps.dll kxpcl6.ini kxps.ini; do file_from_medium "$DRIVERS/$f" "$f"; done
  for f in kxpcl5e.dll kxpcl5ui.dll q70pcl5e.gpd kxpcl5e.hlp kxpcl5e.ini; do no_file "$DRIVERS/$f"; done

  has_printer 'PCL 6' LPT1:
  has_printer PS LPT1:
  no_printer 'Kalyx Q70/Q90 PCL 5e'
  count 0 DRIVER 'Kalyx Q70/Q90 PCL 5e'
  has PROFILE windows device 'Kalyx Q70/Q90 PCL 6,Kalyx Q70/Q90 PCL 6,LPT1:'

  local view=$VIEW
  group_commands
  count 7
  has '[AddItem("C:\medium\TOOLS\kxsetup.exe" Uninstall,Uninstall,,0)]\0'
  has '[AddItem("C:\medium\TOOLS\kxcons.exe",KxConsole,,0)]\0'
  VIEW=$view
}

# An Express installation uninstalled from C:\STATUS while the status display
# tool ran (started with --log=C:\e2e\kxcons.log): the tool closed, printers,
# drivers, the tool's and the models' files, the group and the entry gone.
uninstalled_state() {
  local f log events
  no_printers
  # Each recorded model's driver was removed. The printer goes first, as Windows
  # keeps a driver that a printer still uses; Wine does not check, so the order
  # is not seen here.
  count 0 DRIVER 'Kalyx'
  # The record is never removed; the removable-software entry is.
  reg "$PRODUCT_KEY" InstallSections 55
  reg "$PRODUCT_KEY" StatusDisplayDir 'C:\STATUS=66010'
  has NOKEY "$UNINSTALL_KEY"
  # The language monitor stays registered.
  has MONITOR "$MONITOR" "$MONITOR_ENV" tremon.dll
  # The uninstall section's INI line marks the package gone.
  kalyx_ini 0
  runonce_starts 2
  # The group: exactly one more command than the install's seven.
  local view=$VIEW
  group_commands
  count 8
  [ "$(tail -1 "$VIEW")" = "[DeleteGroup($GROUP)]\\0" ] \
    || fail "the last group command is not the DeleteGroup: $(tail -1 "$VIEW")"
  VIEW=$view

  # The status display tool got the close request once and closed (its last
  # line is written as its process ends, just after its window is gone).
  log=$C/e2e/kxcons.log
  for _ in $(seq 1 50); do grep -q '^closed' "$log" 2>/dev/null && break; sleep 0.1; done
  events=$(tr -d '\r' <"$log" 2>/dev/null | sed 's/^started [0-9]*$/started/')
  [ "$events" = "$(printf 'started\nclose-request 8735 7711\nclosed')" ] \
    || fail "status display tool: expected start, one close request 8735 7711, end; log: $events"

  # The uninstall section's files are gone; the program and its INF stay in the
  # status folder (the running copy cannot delete itself). kxcons.exe itself may
  # be skipped: its process can still be ending when its window is gone, and a
  # file in use is skipped without asking.
  no_file STATUS/kxcons.ini
  for f in kxpcl6.ini kxpcl5e.ini kxps.ini; do no_file "$DRIVERS/$f"; done
  file_from_medium STATUS/kxsetup.exe kxsetup.exe
  file_from_medium STATUS/oemsetup.inf oemsetup.inf
}

# The log of a run (/log=FILE), by its path below drive C:.
# log_has <log> <text>: a line that begins with this text after the time.
log_has() {
  if [ ! -f "$C/$1" ]; then fail "no log C:/$1"; return; fi
  tr -d '\r' <"$C/$1" | cut -c25- | T=$2 awk 'index($0, ENVIRON["T"]) == 1 { f = 1 } END { exit !f }' \
    || fail "C:/$1 has no line beginning with: $2"
}
# log_timed <log>: every line starts with the local time, "YYYY-MM-DD HH:MM:SS.mmm ".
log_timed() {
  local bad
  bad=$(tr -d '\r' <"$C/$1" | grep -avE '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} .' | head -1) || true
  [ -z "$bad" ] || fail "C:/$1 has a line without its time: $bad"
}
# entry_actions <log or plan on the host> <status folder>: the action lines that
# write the uninstall entry's product values: the date is the line's own day,
# the size the queued copies' bytes rounded up to whole KB.
entry_actions() {
  local file=$1 folder=$2 key='HKLM\SoftWare\Microsoft\Windows\CurrentVersion\Uninstall\VelbaProduct'
  local text actions line bytes kb
  # Here-strings, not pipes, feed grep -q: with pipefail a writer that grep left
  # early would fail the check.
  text=$(tr -d '\r' <"$file")
  actions=$(cut -c25- <<<"$text")
  for line in "DisplayVersion = REG_SZ \"1.0\"" "Publisher = REG_SZ \"Velba\"" \
              'VersionMajor = REG_DWORD 1' 'VersionMinor = REG_DWORD 0' \
              "InstallLocation = REG_SZ \"$folder\""; do
    grep -Fxq -- "> registry set $key $line" <<<"$actions" \
      || fail "$(basename "$file") lacks the action line: > registry set $key $line"
  done
  K="> registry set $key InstallDate = REG_SZ " awk '
    index($0, ENVIRON["K"]) == 25 { d = $1; gsub("-", "", d)
      if (substr($0, 25 + length(ENVIRON["K"])) == "\"" d "\"") f = 1 }
    END { exit !f }' <<<"$text" || fail "$(basename "$file") lacks the InstallDate action line of its own day"
  bytes=$(sed -n 's/^.\{24\}> copy .* (\([0-9]*\) bytes.*)$/\1/p' <<<"$text" | awk '{ s += $1 } END { print s + 0 }')
  kb=$(( (bytes + 1023) / 1024 ))
  grep -Fxq -- "> registry set $key EstimatedSize = REG_DWORD $kb" <<<"$actions" \
    || fail "$(basename "$file") lacks the action line: > registry set $key EstimatedSize = REG_DWORD $kb ($bytes bytes copied)"
}

# removable_software <yes|no>: whether Wine's own list of removable software
# (uninstaller --list, which reads the entries as Windows' list does) shows
# the product's entry.
removable_software() {
  local list
  list=$(timeout 60 "$WINE" uninstaller --list 2>/dev/null </dev/null | tr -d '\r') || true
  if [ "$1" = yes ]; then
    grep -Fxq 'VelbaProduct|||Velba Printer Version 1.0' <<<"$list" \
      || fail "Wine's uninstaller does not list the entry: $list"
  elif grep -Fq 'VelbaProduct' <<<"$list"; then
    fail "Wine's uninstaller still lists the entry: $list"
  fi
}

# quiet_run: the run (the section's last EXIT) showed no window at all.
quiet_run() {  # <exit code>
  has EXIT "$1"
  count 0 WINDOW
  count 0 BOX
}

# verify_items <install log below C:>: the /verify lines of that installation,
# every one "ok": each file it queued, the status folder, the monitor, and from
# the dump in $VIEW each model's driver with its files and its printer (not the
# keys seed_spooler_quirk leaves, which have no port) and the entry's values.
verify_items() {
  tr -d '\r' <"$C/$1" | cut -c25- | sed -n 's/^> copy .* -> \(.*\) ([0-9]* bytes)$/verify file \1: ok/p'
  echo 'verify status folder C:\STATUS: ok'
  echo "verify language monitor $MONITOR: ok"
  K=$UNINSTALL_KEY awk -F'\t' '
    $1 == "DRIVER" && $2 ~ /^Kalyx / {
      print "verify printer driver " $2 ": ok"
      for (i = 5; i <= 8; i++) print "verify printer driver file " $i ": ok"
    }
    $1 == "PRINTER" && $2 ~ /^Kalyx / && $4 != "(null)" { print "verify printer " $2 ": ok" }
    $1 == "REG" && $2 == ENVIRON["K"] { print "verify uninstall entry value " $3 ": ok" }' "$VIEW"
}
# verified <verify log below C:> <items>: the log's items are exactly these.
verified() {
  local items
  items=$(tr -d '\r' <"$C/$1" | cut -c25- | grep '^verify [^:]') || true
  [ "$(sort <<<"$items")" = "$(sort <<<"$2")" ] ||
    fail "the verify items are not the installation's:"$'\n'"$(diff <(sort <<<"$2") <(sort <<<"$items") | head -30)"
}

# ---------------------------------------------------------------------------
# Plans (/plan=FILE): the machine before and after a plan, and a plan's action
# lines beside those of the run it describes. Used by the plan_* scenarios.

# snapshot <name>: the state of the prefix in $RUN/snap-<name>/:
#   state.txt     the robot's dumps ($DUMP_STATE: record, spooler, default
#                 printer) and the commands the recording Program Manager got;
#   hklm.reg, hkcu.reg  the machine's and the user's registry as the registry
#                 saves them (RegSaveKey): every key with its values and its
#                 last write time, so that even a value written over with the
#                 same data shows. Volatile keys (Hardware, the user's Volatile
#                 Environment) are never saved; Wine makes them at its start;
#   files.txt     every file and folder under drive C: with type, mode, size and
#                 modification time to the nanosecond, the scenario's own C:\e2e
#                 (script, transcript, logs, plans, the recorder's log) left
#                 out. A write changes the time, so contents are not hashed.
# The dumps go first: the first process that lists the printers makes Wine's
# spooler write a "Name" value into every printer key that lacks one (the keys
# seed_spooler_quirk leaves), so that change of Wine's own is over before the
# registry is saved. Apart from it, two snapshots of a prefix whose server
# keeps running are the same, whatever processes ran in between.
snapshot() {
  local dir=$RUN/snap-$1
  mkdir -p "$dir"
  robot <<EOF2
note snapshot-$1
$DUMP_STATE
save-key HKLM C:\\e2e\\hklm.reg
save-key HKCU C:\\e2e\\hkcu.reg
EOF2
  section "snapshot-$1"
  { cat "$VIEW"; cat "$C/e2e/progman.log"; } >"$dir/state.txt"
  mv "$C/e2e/hklm.reg" "$C/e2e/hkcu.reg" "$dir/"
  (cd "$C" && find . -path ./e2e -prune -o -printf '%y %m %s %T@ %p\n' | LC_ALL=C sort) >"$dir/files.txt"
}

# same_snapshots <a> <b>: the two snapshots are byte for byte the same.
same_snapshots() {
  local part
  for part in state.txt hklm.reg hkcu.reg files.txt; do
    if ! cmp -s "$RUN/snap-$1/$part" "$RUN/snap-$2/$part"; then
      fail "$part changed between snapshots $1 and $2:"$'\n'"$(diff -a "$RUN/snap-$1/$part" "$RUN/snap-$2/$part" | head -20)"
    fi
  done
}

# action_lines <file>: the lines of a log or plan that describe a change
# ("> text") or its undo ("< text"), the time cut off.
action_lines() {
  tr -d '\r' <"$1" | sed -n 's/^[0-9-]\{10\} [0-9:.]\{12\} \([<>]\) /\1 /p'
}

# plan_unchanged <name> <exit> <command line>: the command line with
# /plan=C:\e2e\plan-<name>.txt (and no /quiet: a plan is quiet by itself),
# between two snapshots that must be the same; the plan's process shows no
# window and exits with <exit>. The plan is kept as $RUN/plan-<name>.txt.
plan_unchanged() {
  local name=$1 code=$2 command=$3
  snapshot "$name-before"
  robot <<EOF2
note plan-$name
start $command /plan=C:\\e2e\\plan-$name.txt
wait-exit-quiet 30000
EOF2
  section "plan-$name"
  count 0 WINDOW
  has EXIT "$code"
  snapshot "$name-after"
  same_snapshots "$name-before" "$name-after"
  PLAN=$RUN/plan-$name.txt
  cp "$C/e2e/plan-$name.txt" "$PLAN" 2>/dev/null || { fail "no plan $name"; : >"$PLAN"; }
}

# run_as_planned <name> <command line> [<exit>]: the quiet run itself, with
# /quiet /log=C:\e2e\log-<name>.txt (kept as $RUN/log-<name>.txt): its action
# lines are the plan's, and it ends with the exit code the plan's last line
# names, or <exit> where the plan ends before the run decides it.
run_as_planned() {
  local name=$1 command=$2 planned ran
  robot <<EOF2
note run-$name
start $command /quiet /log=C:\\e2e\\log-$name.txt
wait-exit-quiet 60000
EOF2
  section "run-$name"
  count 0 WINDOW
  cp "$C/e2e/log-$name.txt" "$RUN/log-$name.txt" 2>/dev/null || : >"$RUN/log-$name.txt"
  planned=$(action_lines "$RUN/plan-$name.txt")
  ran=$(action_lines "$RUN/log-$name.txt")
  [ -n "$planned" ] || fail "the plan $name lists no change"
  [ "$planned" = "$ran" ] || fail "the run $name did other than its plan:"$'\n'"$(diff <(echo "$planned") <(echo "$ran") | head -20)"
  local last
  last=$(tr -d '\r' <"$RUN/plan-$name.txt" | tail -1)
  has EXIT "${3:-${last##* exit }}"
}

# quiet_express_install <log name>: `/quiet /defaultprinter` from the medium
# with /log=C:\e2e\<log name>, which ends as a completed quiet run (0);
# its state is then checked as express's.
quiet_express_install() {
  robot <<EOF2
timeout 20000
note install-run
start C:\\medium\\kxsetup.exe /quiet /defaultprinter /log=C:\\e2e\\$1
wait-exit-quiet 60000
note installed
$DUMP_STATE
EOF2
  section install-run
  quiet_run 0
  section installed
  express_state
}

# ---------------------------------------------------------------------------
# Rollbacks: a run that stops after its first change leaves the machine as it
# found it. Used by the undo_* scenarios.

# install_models <models>: a quiet install of these models (/models=), the
# installation that a failing run of other models is then made over.
install_models() {
  robot <<EOF2
note install-$1
start C:\\medium\\kxsetup.exe /quiet /models=$1 /log=C:\\e2e\\install-$1.txt
wait-exit-quiet 60000
EOF2
  section "install-$1"
  quiet_run 0
}

# rolled_back <a> <b> [<printer>]: snapshot b is snapshot a, less what no
# rollback can restore and nobody relies on: the last write times of registry
# keys and of folders (a key or folder whose children came and went keeps its
# new time), and what Wine's spooler leaves of the printer it refused to add
# and then cannot open to delete: its key, and its values in the user's
# Devices and PrinterPorts keys. Two more things are Wine's, not an
# installation's: a printer key that holds nothing but the data type
# seed_spooler_quirk gives it (and the name Wine's enumeration writes), which
# the removal of a printer added over it takes along; and the user's Devices
# and PrinterPorts keys left empty, which Wine's spooler makes with its first
# printer (Windows has them always).
rolled_back() {
  local a=$1 b=$2 s part dir
  for s in "$a" "$b"; do
    dir=$RUN/snap-$s
    awk -F'\t' -v n="${3:-}" '!($1 == "PRINTER" && ($2 == n || $4 == "(null)"))' "$dir/state.txt" >"$dir/state.cmp"
    for part in hklm hkcu; do
      N=${3:-} awk '
        function flush() {
          if (block != "" && !refused && !(seed && values <= 2 && datatype) && !(devices && !values))
            printf "%s", block
          block = ""
        }
        /^\[/ {
          flush()
          sub(/\] [0-9]+$/, "]")
          key = substr($0, 2, length($0) - 2)
          printer = key
          seed = sub(/^System\\\\CurrentControlSet\\\\Control\\\\Print\\\\Printers\\\\/, "", printer) && printer !~ /\\/
          refused = ENVIRON["N"] != "" && (printer == ENVIRON["N"] || index(printer, ENVIRON["N"] "\\") == 1)
          devices = key ~ /^Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\(Devices|PrinterPorts)$/
          values = 0; datatype = 0
        }
        /^#time=/ { next }
        devices && ENVIRON["N"] != "" && index($0, "\"" ENVIRON["N"] "\"=") == 1 { next }
        /^"/ { values++; if ($0 == "\"Datatype\"=\"RAW\"") datatype = 1 }
        { block = block $0 "\n" }
        END { flush() }' "$dir/$part.reg" >"$dir/$part.cmp"
    done
    sed -E 's/^(d [0-7]+ [0-9]+) [0-9.]+ /\1 - /' "$dir/files.txt" | LC_ALL=C sort >"$dir/files.cmp"
  done
  for part in state hklm hkcu files; do
    if ! cmp -s "$RUN/snap-$a/$part.cmp" "$RUN/snap-$b/$part.cmp"; then
      fail "$part differs after the rollback ($a, $b):"$'\n'"$(diff -a "$RUN/snap-$a/$part.cmp" "$RUN/snap-$b/$part.cmp" | head -30)"
    fi
  done
}

# undone <log>: the run's log undoes what it changed ("< " lines), and no undo
# step failed.
undone() {
  local log=$RUN/$1
  cp "$C/e2e/$1" "$log" 2>/dev/null || : >"$log"
  local failed
  grep -q '^< ' <<<"$(action_lines "$log")" || fail "$1 has no undo line"
  failed=$(tr -d '\r' <"$log" | cut -c25- | awk '/^< / { u = $0; next } u != "" && /^  failed/ { print u ": " $0 } { u = "" }')
  [ -z "$failed" ] || fail "$1: undo steps failed:"$'\n'"$failed"
}

# ---------------------------------------------------------------------------
# Interrupted runs: a quiet install whose process is killed as a crash or a
# lost session ends it, while the prefix's server (and so the registry) lives
# on. Used by the interrupted_* scenarios.

JOURNAL_MARKER='HKLM\Software\VelbaPrinter setup in progress'

# interrupt <after> <line> [<file>]: starts the quiet Express install with
# /log=C:\e2e\log-interrupted.txt (kept as $RUN/log-interrupted.txt) and
# stops its process the moment its log has a line that begins with <line>
# right after one that begins with <after> (the times cut off), and with
# <file> (below C:) once that file exists too; then kills it (SIGKILL). What
# the killed run leaves is then checked (journal_left).
#
# The log is read in a loop of shell builtins only, and the program runs at
# the lowest priority once its log is open, so that the loop is ahead of it
# and the program gets no further than a few system calls past the point. A
# busy machine can still hold the loop back while the program goes on: a
# program that logged an action or an outcome line past the point has missed
# it, and the scenario starts over in a fresh prefix (three times at most,
# then it fails).
interrupt() {
  local after=$1 want=$2 file=${3:-} log=$C/e2e/log-interrupted.txt
  local pid line part='' prev='' found='' rc=0 late restarts=${KX_E2E_RESTARTS:-0}
  rm -f "$log"
  "$WINE" 'C:\medium\kxsetup.exe' /quiet /defaultprinter '/log=C:\e2e\log-interrupted.txt' \
    </dev/null >/dev/null 2>&1 &
  pid=$!
  until [ -f "$log" ] || ! kill -0 $pid 2>/dev/null; do :; done
  # Wine's start is behind it: from here on every thread at the lowest priority.
  renice -n 19 -p $(ls /proc/$pid/task 2>/dev/null) >/dev/null 2>&1 || true
  exec 3<"$log"
  while kill -0 $pid 2>/dev/null; do
    if [ -z "$found" ]; then
      IFS= read -r line <&3 || { part+=$line; continue; }
      line=$part$line part=''
      line=${line%$'\r'}
      line=${line:24}
      [[ $line == "$want"* && $prev == "$after"* ]] && found=1
      prev=$line
    fi
    if [ -n "$found" ] && { [ -z "$file" ] || [ -e "$C/$file" ]; }; then
      kill -STOP $pid
      break
    fi
  done
  kill -KILL $pid 2>/dev/null || true
  { wait $pid; } 2>/dev/null || rc=$?
  late=$(tr -d '\r' <&3 | cut -c25- | grep -a '^\(> \|  \)') || true
  exec 3<&-
  cp "$log" "$RUN/log-interrupted.txt" 2>/dev/null || : >"$RUN/log-interrupted.txt"
  if [ -z "$found" ] || [ $rc != 137 ]; then
    fail "the install was not killed after '$want' (exit $rc)"
  elif [ -n "$late" ] && [ "$restarts" -lt 3 ]; then
    echo "$NAME: the install got past '$want' before it was stopped; starting over" >&2
    exec env KX_E2E_RESTARTS=$((restarts + 1)) KX_E2E_STARTED="$SCENARIO_START" bash "$0"
  elif [ -n "$late" ]; then
    fail "the install was stopped too late, after:"$'\n'"$late"
  fi
  journal_left
}

# journal_left: what a killed install leaves for the next start: one journal
# folder C:\windows\kxsetup-run-<16 hex digits> holding the journal, and the
# marker key naming it. The folder's listing goes to the scenario's output.
journal_left() {
  local folders name
  folders=$(cd "$C/windows" && ls -d kxsetup-run-* 2>/dev/null) || true
  if ! grep -Eqx 'kxsetup-run-[0-9a-f]{16}' <<<"$folders"; then
    fail "expected one journal folder in C:\\windows, found: ${folders:-none}"
    return
  fi
  name=$folders
  [ -s "$C/windows/$name/journal" ] || fail "C:\\windows\\$name holds no journal"
  echo "the killed run's journal folder C:\\windows\\$name:"
  (cd "$C/windows/$name" && ls -l --time-style=+%T)
  robot <<EOF2
note marker-$name
dump-key $JOURNAL_MARKER
EOF2
  section "marker-$name"
  reg "$JOURNAL_MARKER" Journal "C:\\windows\\$name"
}

# nothing_left <name>: no journal folder and no marker.
nothing_left() {
  local folders
  folders=$(cd "$C/windows" && ls -d kxsetup-run-* 2>/dev/null) || true
  [ -z "$folders" ] || fail "journal folders left in C:\\windows: $folders"
  robot <<EOF2
note no-marker-$1
dump-key $JOURNAL_MARKER
EOF2
  section "no-marker-$1"
  has NOKEY "$JOURNAL_MARKER"
}

# taken_back_by_uninstall <snapshot>: after a killed install, the plan of the
# quiet uninstall from the medium lists the take-back and changes nothing;
# the uninstall itself takes the killed run back as planned, then finds no
# installation (1605; the plan ends after the take-back). The machine is then as in the snapshot taken before
# the killed install.
taken_back_by_uninstall() {
  plan_unchanged uninstall 1603 'C:\medium\kxsetup.exe Uninstall'
  run_as_planned uninstall 'C:\medium\kxsetup.exe Uninstall' 1605
  undone log-uninstall.txt
  log_has e2e/log-uninstall.txt 'exit 1605'
  nothing_left uninstall
  snapshot taken-back
  rolled_back "$1" taken-back
}

# taken_back_by_install: after a killed install, the same quiet install again
# takes the killed run back before its own first change, the record, and
# before it writes its own journal marker (which the take-back removes); it
# then ends as a quiet Express install on a fresh machine does. Its plan,
# which changes nothing, lists the same undo and ends there (1603): what the
# install does next depends on the machine as the undo leaves it.
taken_back_by_install() {
  local planned ran
  plan_unchanged reinstall 1603 'C:\medium\kxsetup.exe /defaultprinter'
  grep -q 'plan: ends after the undo of the interrupted installation' "$PLAN" ||
    fail "the reinstall's plan does not end after the undo"
  robot <<EOF2
note run-reinstall
start C:\\medium\\kxsetup.exe /defaultprinter /quiet /log=C:\\e2e\\log-reinstall.txt
wait-exit-quiet 60000
EOF2
  section run-reinstall
  count 0 WINDOW
  cp "$C/e2e/log-reinstall.txt" "$RUN/log-reinstall.txt" 2>/dev/null || : >"$RUN/log-reinstall.txt"
  planned=$(action_lines "$PLAN" | grep '^< ') || true
  ran=$(action_lines "$RUN/log-reinstall.txt" | grep '^< ') || true
  [ -n "$planned" ] || fail "the reinstall's plan lists no undo"
  [ "$planned" = "$ran" ] || fail "the reinstall undid other than its plan:"$'\n'"$(diff <(echo "$planned") <(echo "$ran") | head -20)"
  quiet_run 0
  robot <<EOF2
note reinstalled
$DUMP_STATE
EOF2
  section reinstalled
  express_state
  undone log-reinstall.txt
  entry_actions "$RUN/log-reinstall.txt" 'C:\STATUS'
  local order
  order=$(tr -d '\r' <"$RUN/log-reinstall.txt" | cut -c25- | awk '
    /^< / && (record || marker) && !late { late = 1; print "an undo line after the record or the marker: " $0 }
    /^> / && !record { record = 1
      if (index($0, "> registry set HKLM\\Software\\VelbaPrinter\\VelbaProduct\\PrinterInfo\\ ") != 1)
        print "the first change is not the record: " $0 }
    /^run marker HKLM\\/ { marker = 1 }
    END { if (!marker) print "no run marker written" }')
  [ -z "$order" ] || fail "log-reinstall.txt: $order"
  nothing_left reinstall
}
