#!/usr/bin/env bash
# Unattended Minimum install on LPT2: without the default printer: no window,
# and the state the wizard's Minimum run on LPT2: with "Nein" leaves
# (minimum.sh), in a prefix with a RunOnce\Setup key as there.
. "$(dirname "$0")/../lib.sh"
e2e_begin quiet_minimum
seed_key 'Software\Microsoft\Windows\CurrentVersion\RunOnce\Setup'
e2e_start
robot <<EOF2
timeout 20000
dump-profile windows device
start C:\\medium\\kxsetup.exe /quiet /type=minimum /port=lpt2: /defaultprinter=no
wait-exit-quiet 60000
note after
$DUMP_STATE
EOF2
quiet_run 0
section after
minimum_state LPT2:
e2e_end
