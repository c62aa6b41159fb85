#!/usr/bin/env bash
# A quiet Express install killed during its copy, right after the first file
# was copied (the record and the status folder made, the other files still to
# come): the journal folder and the marker stay. The quiet uninstall from the
# medium (and its plan, which changes nothing) takes the killed run back and
# finds no installation; the machine is then as before the install. Killed
# there once more, the same install run again (and its plan) takes it back
# before its own first change and completes.
. "$(dirname "$0")/../lib.sh"
e2e_begin interrupted_copy
e2e_start

snapshot fresh
interrupt '' 'copied '
taken_back_by_uninstall fresh

interrupt '' 'copied '
taken_back_by_install
e2e_end
