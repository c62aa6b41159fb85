#!/usr/bin/env bash
# A quiet Express install killed right after it wrote the installation record,
# before its first copy: the journal folder and the marker stay. The quiet
# uninstall from the medium (and its plan, which changes nothing) takes the
# killed run back and finds no installation; the machine is then as before
# the install. Killed there once more, the same install run again (and its
# plan) takes it back before its own first change and completes.
. "$(dirname "$0")/../lib.sh"
e2e_begin interrupted_record
e2e_start
RECORD='> registry set HKLM\Software\VelbaPrinter\VelbaProduct\PrinterInfo\ ControlPanelDir '

snapshot fresh
interrupt "$RECORD" '  ok'
taken_back_by_uninstall fresh

interrupt "$RECORD" '  ok'
taken_back_by_install
e2e_end
