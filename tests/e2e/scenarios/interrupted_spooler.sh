#!/usr/bin/env bash
# A quiet Express install killed among its spooler steps. Wine's spooler runs
# in the program's own process, so a kill inside AddPrinterDriver leaves what
# it made so far: here the second model's driver key with its first values
# and its first file, empty, in the driver folder. The quiet uninstall from
# the medium (and its plan, which changes nothing) takes that half-made
# driver back with the first model's driver and printer, the monitor, the
# files and the record, and finds no installation; the machine is then as
# before the install. Killed between the first model's driver and its
# printer, the same install run again (and its plan) takes it back before
# its own first change and completes.
. "$(dirname "$0")/../lib.sh"
e2e_begin interrupted_spooler
e2e_start

snapshot fresh
interrupt '' '> spooler add driver "Kalyx Q70/Q90 PCL 5e" ' "$DRIVERS/3/kxpcl5e.dll"
robot <<EOF2
note half-made
dump-drivers
EOF2
section half-made
count 1 DRIVER 'Kalyx Q70/Q90 PCL 5e'
taken_back_by_uninstall fresh

# The removal of the PCL 6 printer took its data type seed along.
timeout 60 "$WINE" reg add 'HKLM\System\CurrentControlSet\Control\Print\Printers\Kalyx Q70/Q90 PCL 6' \
  /v Datatype /d RAW /f >/dev/null 2>&1 </dev/null || fail "the data type seed of PCL 6 could not be put back"

interrupt '> spooler add driver "Kalyx Q70/Q90 PCL 6" ' '  ok'
taken_back_by_install
e2e_end
