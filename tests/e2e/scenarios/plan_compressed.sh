#!/usr/bin/env bash
# A medium of the NT era: the files of a model, one of its settings files and
# the language monitor lie compressed (kxps.dl_ for kxps.dll) under the names
# that the setup information gives. SetupAPI on Windows finds and expands such
# files while copying; Wine's does neither, so what shows here is the plan: it
# changes nothing, names each compressed file as the source of its copy and
# predicts a completed run.
. "$(dirname "$0")/../lib.sh"
e2e_begin plan_compressed

# COMPRESS's SZDD format, literals only: a flag byte 0xFF before every eight
# bytes; the header keeps the last character of the name.
szdd() {  # <file of C:\medium>
  perl -e 'local $/; open(my $in, "<:raw", $ARGV[0]) or die; my $d = <$in>;
    binmode STDOUT; print "SZDD\x88\xf0\x27\x33A", substr($ARGV[0], -1), pack("V", length $d);
    for (my $i = 0; $i < length $d; $i += 8) { print "\xff", substr($d, $i, 8) }' \
    "$C/medium/$1" >"$C/medium/${1%?}_"
  rm "$C/medium/$1"
}
COMPRESSED='kxps.dll kxpsui.dll q70ps.ppd kxps.hlp kxps.ini tremon.dll'
for f in $COMPRESSED; do szdd "$f"; done
e2e_start

plan_unchanged compressed 0 'C:\medium\kxsetup.exe'
for f in $COMPRESSED; do
  packed=${f%?}_
  size=$(stat -c %s "$C/medium/$packed")
  action_lines "$PLAN" | F="C:\\medium\\$packed -> " T="\\$f ($size bytes, compressed)" awk '
    index($0, "> copy " F) == 1 && substr($0, length($0) - length(T) + 1) == T { f = 1 }
    END { exit !f }' || fail "the plan does not copy $f from C:\\medium\\$packed"
done
if tr -d '\r' <"$PLAN" | grep -Fq 'source missing'; then fail "the plan misses a compressed source"; fi
e2e_end
