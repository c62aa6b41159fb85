#!/bin/sh
# The build's /check of the media it ships: the sample medium and the medium
# in the winget zip (the Chocolatey package carries the same files). A fault
# fails the build, with the check's log lines that name it.
#
# usage: check-media.sh <wine-run.sh> <kxsetup.exe that runs here> <what runs, for the output>
#                       <sample medium> <medium zip> <scratch folder>
# The exe that runs is copied into each medium's scratch copy: /check reads
# the medium it starts from.
set -eu
run=$1 exe=$2 what=$3 sample=$4 zip=$5 scratch=$6
for f in "$sample/oemsetup.inf" "$zip"; do
  if [ ! -f "$f" ]; then
    echo "medium check: $f is not built yet; not checked" >&2
    exit 0
  fi
done
echo "medium check: /check of the sample medium and the zip's medium, run by $what"
rm -rf "$scratch"
mkdir -p "$scratch/sample" "$scratch/zip"
cp -a "$sample/." "$scratch/sample/"
(cd "$scratch/zip" && cmake -E tar xf "$zip")
status=0
for medium in sample zip; do
  cp "$exe" "$scratch/$medium/kxcheck.exe"
  log=$scratch/$medium.log
  winlog="Z:$(echo "$log" | tr / '\\')"
  rc=0
  "$run" "$scratch/$medium/kxcheck.exe" /check /quiet "/log=$winlog" >/dev/null 2>&1 </dev/null || rc=$?
  summary=$(tr -d '\r' <"$log" 2>/dev/null | sed -n 's/^[0-9-]* [0-9:.]* check: //p' | tail -1)
  if [ "$rc" != 0 ]; then
    echo "medium check: the $medium medium FAILS /check (exit $rc): $summary" >&2
    tr -d '\r' <"$log" 2>/dev/null | grep -E '^[0-9-]+ [0-9:.]+ check ' | grep -v ': ok$' >&2 || true
    status=1
  else
    echo "medium check: the $medium medium: $summary"
  fi
done
exit $status
