#!/usr/bin/env bash
# ./run.sh bench: kxsetup.exe's performance figures against reference programs
# (docs/performance.md tells what each one means): a plain copy and the API
# floor (benchfloor.exe) for the quiet install, a bare wizard for the start. Every run gets a fresh copy
# of a template prefix; a timed figure is the median of KX_BENCH_RUNS runs (5).
# Nothing is asserted: a run that does not end in time, or ends with another
# exit code than a completed run's, gives no number; such a figure is shown as
# n/a (its remaining runs are skipped).
#
# One build's programs under its own Wine: the i686 build (the shipped exe)
# in a 32-bit prefix, the x86_64 build in a 64-bit one; ./run.sh bench runs
# both. The size row is always the shipped exe's.
#
# usage: tools/bench/bench.sh <build dir> <win32|win64> [<shipped kxsetup.exe>]
set -euo pipefail
BUILD=$(cd "${1:?usage: bench.sh <build dir> <win32|win64> [<shipped kxsetup.exe>]}" && pwd)
ARCH=${2:?usage: bench.sh <build dir> <win32|win64> [<shipped kxsetup.exe>]}
SHIPPED=${3:-$BUILD/kxsetup.exe}
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/tools/wine-env.sh"
. "$top/tools/prefix_keys.sh"
wine_find "$ARCH"

RUNS=${KX_BENCH_RUNS:-5}
OUT=$BUILD/bench
MEDIUM=$OUT/medium
ROBOT=$BUILD/tools/robot/kxrobot.exe
TOOLS=$BUILD/tools/bench
TEMPLATE=$OUT/template
PFX=$OUT/prefix
C=$PFX/drive_c
export WINEPREFIX=$PFX
for f in "$BUILD/medium/kxsetup.exe" "$ROBOT" "$TOOLS/benchcopy.exe" "$TOOLS/benchfloor.exe" \
         "$TOOLS/benchsheet.exe"; do
  [ -f "$f" ] || { echo "bench: $f is missing; build first (./run.sh bench does)" >&2; exit 1; }
done

stop_prefix() { "$WINESERVER" -k >/dev/null 2>&1 || true; timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true; }
trap stop_prefix EXIT

# The medium of about 30 MB: the sample medium with its stand-in files grown
# to the sizes of a real driver package (KiB), and the status display tool
# grown by data after its image (Windows runs such a program as it is).
rm -rf "$MEDIUM"; mkdir -p "$OUT"
cp -a "$BUILD/medium" "$MEDIUM"
while read -r name kib; do
  head -c $((kib * 1024)) /dev/urandom >"$MEDIUM/$name"
done <<'EOF'
kxpcl6.dll 4000
kxpcl5e.dll 3600
kxps.dll 3200
kxpcl6ui.dll 2800
kxpcl5ui.dll 2600
kxpsui.dll 2400
kxpcl6.hlp 2000
kxpcl5e.hlp 1800
kxps.hlp 1600
q70pcl6.gpd 1000
q70pcl5e.gpd 900
q70ps.ppd 800
kxpcl6.ini 24
kxpcl5e.ini 24
kxps.ini 24
kxcons.ini 16
kxpanel.cpl 1200
EOF
head -c $((1500 * 1024 - $(stat -c %s "$MEDIUM/kxcons.exe"))) /dev/urandom >>"$MEDIUM/kxcons.exe"
# Its digest list, made as a vendor makes it for their own medium.
cmake -DMEDIUM="$MEDIUM" -P "$top/tools/medium/digests.cmake" >/dev/null
cp "$TOOLS/benchcopy.exe" "$TOOLS/benchfloor.exe" "$TOOLS/benchsheet.exe" "$MEDIUM/"
echo "== the medium: $(du -sb "$MEDIUM" | awk '{ printf "%.1f MB", $1 / 1e6 }')"

wine_prefix "$TEMPLATE" null 180 "$ARCH"

# run <robot script>: the script in a fresh prefix with the medium in C:\medium;
# the transcript is $OUT/transcript.txt (empty when the robot failed).
run() {
  stop_prefix
  rm -rf "$PFX"
  cp -a "$TEMPLATE" "$PFX"
  cp -a "$MEDIUM" "$C/medium"
  [ -z "${COPY_LIST:-}" ] || printf '%s\n' "$COPY_LIST" >"$C/medium/copy.txt"
  [ -z "${NO_LIST:-}" ] || rm "$C/medium/medium.sha"
  prefix_spooler_quirk "$PFX" "$MEDIUM/oemsetup.inf"
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null
  timeout 60 "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
  printf '%s\n' "$1" >"$C/script.txt"
  if timeout 120 "$WINE" "$ROBOT" 'C:\script.txt' 'C:\transcript.txt' >"$OUT/robot.out" 2>&1 </dev/null; then
    cp "$C/transcript.txt" "$OUT/transcript.txt"
  else
    : >"$OUT/transcript.txt"
  fi
  stop_prefix
}

# once <name> <record> <exit code|-> <robot script>: one run, adding the last
# line of that record in its transcript to $OUT/<name>.txt. A run counts only
# when the program's last exit code is the one given (a quiet run that stops
# early would look fast); a name whose run gave no figure is not run again.
once() {
  local line code
  [ -f "$OUT/$1.failed" ] && return
  run "$4"
  line=$(grep -a "^$2"$'\t' "$OUT/transcript.txt" | tail -1 || true)
  code=$(grep -a '^EXIT' "$OUT/transcript.txt" | tail -1 | cut -f2 || true)
  if [ -z "$line" ] || { [ "$3" != - ] && [ "$code" != "$3" ]; }; then
    echo "   $1: no figure (exit code ${code:-none}, expected $3)" \
         "$(grep -a '^kxrobot:' "$OUT/robot.out" | tail -1 | tr -d '\r')"
    touch "$OUT/$1.failed"
    return
  fi
  echo "$line" >>"$OUT/$1.txt"
  echo "   $1: $(tr '\t' ' ' <<<"$line") $(grep -a '^EXIT' "$OUT/transcript.txt" | tail -1 | tr '\t' ' ')" \
       "$(grep -ac '^WINDOW' "$OUT/transcript.txt") windows"
}

# median|best <name> <field>: the median or the smallest value of that field
# over the runs, or n/a when a run gave no figure. The smallest value is the
# run that other load on the machine disturbed least.
median() {
  [ -f "$OUT/$1.txt" ] && [ "$(wc -l <"$OUT/$1.txt")" = "$RUNS" ] || { echo n/a; return; }
  cut -f"$2" "$OUT/$1.txt" | sort -n | sed -n "$(( (RUNS + 1) / 2 ))p"
}
best() {
  [ -f "$OUT/$1.txt" ] && [ "$(wc -l <"$OUT/$1.txt")" = "$RUNS" ] || { echo n/a; return; }
  cut -f"$2" "$OUT/$1.txt" | sort -n | head -1
}

ratio() { [[ $1 =~ ^[0-9]+$ && $2 =~ ^[1-9][0-9]*$ ]] && awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }' || echo n/a; }

INSTALL='start C:\medium\kxsetup.exe /quiet
wait-exit-quiet 30000'
rm -f "$OUT"/*.txt "$OUT"/*.failed "$OUT"/list.log

# The plain copy copies what a quiet Express install copies, from and to the
# same places: the list is read from the "copied" lines of such a run's log.
echo "== the files a quiet install copies"
COPY_LIST=
run 'start C:\medium\kxsetup.exe /quiet /log=C:\list.log
wait-exit-quiet 30000'
cp "$PFX/drive_c/list.log" "$OUT/list.log" 2>/dev/null || : >"$OUT/list.log"
COPY_LIST=$(tr -d '\r' <"$OUT/list.log" | sed -n 's/^[0-9-]* [0-9:.]* copied \(.*\) -> \(.*\)$/\1\t\2/p')
if [ -z "$COPY_LIST" ]; then
  echo "   the quiet install copied nothing (exit code" \
       "$(grep -a '^EXIT' "$OUT/transcript.txt" | tail -1 | cut -f2)); no copy figure"
  touch "$OUT/copy.failed"
else
  echo "   $(wc -l <<<"$COPY_LIST") files," \
       "$(cut -f1 <<<"$COPY_LIST" | sed 's/^C:\\medium\\//' | (cd "$MEDIUM" && xargs stat -c %s) | awk '{ s += $1 } END { printf "%.1f MB", s / 1e6 }')"
fi
# The runs of a figure and of its reference take turns, so that a change in
# the machine's load falls on both.
for i in $(seq 1 "$RUNS"); do
  echo "== run $i of $RUNS"
  once install TIMES 0 "$INSTALL"
  NO_LIST=1 once unlisted TIMES 0 "$INSTALL"
  once copy TIMES 0 'start C:\medium\benchcopy.exe C:\medium\copy.txt
wait-exit-quiet 30000'
  once floor TIMES 0 'start C:\medium\benchfloor.exe
wait-exit-quiet 30000'
  once wizard SHOWN - 'start C:\medium\kxsetup.exe
time-window Willkommen 30000'
  once sheet SHOWN - 'start C:\medium\benchsheet.exe
time-window Willkommen 30000'
  once uninstall TIMES 0 "$INSTALL
spawn C:\\STATUS\\kxcons.exe --linger=3000 --quit-after=60000
wait-window Printer Status Display 20000
start C:\\STATUS\\kxsetup.exe Uninstall /quiet
wait-exit-quiet 30000"
done

a_kx=$(median install 2) a_ref=$(median copy 2) f_ref=$(median floor 2) u_kx=$(median unlisted 2)
b_kx=$(median wizard 3) b_ref=$(median sheet 3)
d_wall=$(median uninstall 2) d_cpu=$(median uninstall 3)
a_best=$(ratio "$(best install 2)" "$(best copy 2)")
f_best=$(ratio "$(best install 2)" "$(best floor 2)")
u_best=$(ratio "$(best unlisted 2)" "$(best floor 2)")
b_best=$(ratio "$(best wizard 3)" "$(best sheet 3)")
size=n/a
[ -f "$SHIPPED" ] && size=$(stat -c %s "$SHIPPED")

# "best": the ratio of the two smallest values, the runs least disturbed by
# other load; kxsetup's and the reference's runs take turns, so a change in
# the load falls on both, and the ratios say more than the times themselves.
row() { printf '%-48s %10s %10s %7s %7s %7s\n' "$@"; }
{
  echo "$(basename "$BUILD") build under $([ "$ARCH" = win32 ] && echo 32 || echo 64)-bit Wine"
  row figure kxsetup reference ratio best goal
  row "(a) quiet install, 30 MB medium (ms)" "$a_kx" "$a_ref" "$(ratio "$a_kx" "$a_ref")" "$a_best" -
  row "(a) the same against the API floor (ms)" "$a_kx" "$f_ref" "$(ratio "$a_kx" "$f_ref")" "$f_best" '<= 1.1'
  row "(a) the same, medium without digest list (ms)" "$u_kx" "$f_ref" "$(ratio "$u_kx" "$f_ref")" "$u_best" -
  row "(b) start to first wizard page (ms)" "$b_kx" "$b_ref" "$(ratio "$b_kx" "$b_ref")" "$b_best" '<= 1.2'
  row "(c) shipped i686 kxsetup.exe (bytes)" "$size" 81920 "$(ratio "$size" 81920)" - '<= 1'
  row "(d) quiet uninstall, 3 s tool close: wall (ms)" "$d_wall" 3000 "$(ratio "$d_wall" 3000)" - -
  row "(d) the same: CPU time, user+kernel (ms)" "$d_cpu" "$d_wall" "$(ratio "$d_cpu" "$d_wall")" - -
} | tee "$OUT/table.txt"
