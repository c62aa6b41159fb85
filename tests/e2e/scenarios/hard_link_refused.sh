#!/usr/bin/env bash
# A C:\STATUS that every user may change (its directory's mode lets others
# write), with kxsetup.exe in it a hard link that a user made to a file of the
# system: the folder is not made the administrators' own, nothing reaches the
# linked file, and the install ends with 1603, the reason in the log.
. "$(dirname "$0")/../lib.sh"
e2e_begin hard_link_refused
mkdir -m 1777 "$C/STATUS"
chmod 1777 "$C/STATUS"
ln "$C/windows/win.ini" "$C/STATUS/kxsetup.exe"
before=$(sha256sum <"$C/windows/win.ini")
e2e_start
robot <<EOF2
start C:\\medium\\kxsetup.exe /quiet /log=C:\\e2e\\kx.log
wait-exit 30000
$DUMP_STATE
EOF2
quiet_run 1603
log_has e2e/kx.log 'box "Install Error" "The folder C:\STATUS cannot be used: C:\STATUS\kxsetup.exe has another name elsewhere (a hard link).": OK (quiet)'
lacks_log() { if tr -d '\r' <"$C/$1" | grep -Fq -- "$2"; then fail "$1 has '$2'"; fi; }
lacks_log e2e/kx.log 'permissions of C:\STATUS'
[ "$(sha256sum <"$C/windows/win.ini")" = "$before" ] || fail "the linked file changed"
[ "$(stat -c %a "$C/STATUS")" = 1777 ] || fail "the folder's mode changed"
has NOKEY "$PRODUCT_KEY"
has NOKEY "$UNINSTALL_KEY"
nothing_registered
e2e_end
