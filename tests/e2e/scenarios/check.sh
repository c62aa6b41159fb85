#!/usr/bin/env bash
# /check, the packager's check of a medium, run without a window: the sample
# medium passes (0) and nothing on the machine changes; a medium with every
# kind of fault names each one in its log and ends with 1603, while a file
# found only in its compressed form is no fault; a medium of four models and
# one whose INF an install refuses each name that.
. "$(dirname "$0")/../lib.sh"
e2e_begin check
M=$C/medium
# A medium with a fault of each kind.
B=$C/broken
cp -a "$M" "$B"
rm "$B/kxps.hlp"                                  # named by a model
printf 'grown\n' >>"$B/kxcons.ini"                # size differs from the list
sed -i 's/stand-in/stand-In/' "$B/kxps.ini"       # same size, other digest
mv "$B/kxpsui.dll" "$B/kxpsui.dl_"                # compressed: found by SetupAPI's rule
sed -i "s/^kxpsui.dll /kxpsui.dl_ /" "$B/medium.sha"
printf 'gone.dll 5 %064d\r\nno digest here\r\n' 0 >>"$B/medium.sha"
sed -i -e 's/^CopyFiles = Q70PCL6.Files/&, Q70PCL6.Extra/' \
       -e 's/^DataSection = Q70PCL5E.Data/DataSection = Q70PCL5E.Dat/' \
       -e 's/^kxcons.ini/&\r\nkxnew.dll/' \
       -e 's/^Panel.Files = 66011/&\r\nQ70PS.Files = 66020/' "$B/oemsetup.inf"
# Four models; and a data file name longer than an install takes.
F=$C/four
cp -a "$M" "$F"
sed -i 's/^"Kalyx Q70\/Q90 PS" = Q70PS/&\r\n"Kalyx Q70\/Q90 PS 2" = Q70PS/' "$F/oemsetup.inf"
L=$C/long
cp -a "$M" "$L"
sed -i 's/^DataFile = q70ps.ppd/DataFile = q70ps-with-a-name-far-too-long.ppd/' "$L/oemsetup.inf"
e2e_start
robot <<EOF2
timeout 20000
note sample
start C:\\medium\\kxsetup.exe /check /quiet /log=C:\\e2e\\sample.log
wait-exit-quiet 30000
note broken
start C:\\broken\\kxsetup.exe /check /quiet /log=C:\\e2e\\broken.log
wait-exit-quiet 30000
note four
start C:\\four\\kxsetup.exe /check /quiet /log=C:\\e2e\\four.log
wait-exit-quiet 30000
note long
start C:\\long\\kxsetup.exe /check /quiet /log=C:\\e2e\\long.log
wait-exit-quiet 30000
note after
$DUMP_STATE
EOF2
section sample
quiet_run 0
log_has e2e/sample.log 'mode: check, quiet'
log_has e2e/sample.log 'check file kxsetup.exe: ok'
log_has e2e/sample.log 'check medium.sha line for oemsetup.inf: ok'
log_has e2e/sample.log 'check: The medium is ready to ship (0 faults in '
[ "$(tr -d '\r' <"$C/e2e/sample.log" | grep ' check ' | grep -vc ': ok$')" = 0 ] \
  || fail "the sample medium has faults: $(grep -a ' check ' "$C/e2e/sample.log" | grep -av ': ok.$')"
section broken
quiet_run 1603
for line in 'check file kxps.hlp: missing' \
            'check file kxpsui.dll: ok' \
            'check file kxnew.dll: missing' \
            'check section Q70PCL6.Extra: missing or empty' \
            'check section Q70PCL5E.Dat: missing or empty' \
            'check destination of Q70PS.Files: no directory id that exists' \
            'check destination of Status.Files: ok' \
            'check medium.sha line for kxps.hlp: missing or unreadable' \
            'check medium.sha line for kxcons.ini: size or digest differs' \
            'check medium.sha line for kxps.ini: size or digest differs' \
            'check medium.sha line for oemsetup.inf: size or digest differs' \
            'check medium.sha line for kxpsui.dl_: ok' \
            'check medium.sha line for gone.dll: missing or unreadable' \
            'check medium.sha line for no digest here: not "name size sha256"' \
            'check: The medium has 11 fault(s) in ' \
            'exit 1603'; do
  log_has e2e/broken.log "$line"
done
section four
quiet_run 1603
log_has e2e/four.log 'check models of Kalyx: more than three'
section long
quiet_run 1603
log_has e2e/long.log 'box "Install Error" "oemsetup.inf, section [Kalyx], line 3: the DataFile value does not fit 31 characters."'
log_has e2e/long.log 'check setup information oemsetup.inf: refused (see the box before)'
section after
nothing_changed
e2e_end
