#!/bin/sh
# Checks the shipped (i686) kxsetup.exe: a PE32 GUI program marked for NT 4.0
# that imports by name exactly these DLLs, all on the system's known-DLL list
# from NT 4 on, which Windows always takes from its system folder (comctl32,
# winspool, setupapi and msvcrt are not on NT 4's: a copy beside the program
# would be loaded instead). Exit 77 (skipped) when that build is absent.
exe="$1"
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
if [ ! -f "$exe" ]; then
  echo "no i686 build at $exe: skipped"
  exit 77
fi
dump=$("$objdump" -p "$exe") || exit 1
fail=0
echo "$dump" | grep -q 'file format pei-i386' || { echo "not a PE32 i386 image"; fail=1; }
echo "$dump" | grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' || { echo "not a GUI subsystem image"; fail=1; }
echo "$dump" | grep -Eq '^MajorSubsystemVersion[[:space:]]+4$' || { echo "subsystem version is not 4"; fail=1; }
echo "$dump" | grep -Eq '^MinorSubsystemVersion[[:space:]]+0$' || { echo "subsystem minor version is not 0"; fail=1; }
expected='ADVAPI32.DLL GDI32.DLL KERNEL32.DLL SHELL32.DLL USER32.DLL'
imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' ' | sed 's/ $//')
[ "$imports" = "$expected" ] || { echo "imports $imports; expected exactly $expected"; fail=1; }
echo "size in bytes: $(wc -c < "$exe")"
[ $fail = 0 ] && echo "kxsetup.exe (i686): PE32, subsystem 4.0, imports exactly $expected"
exit $fail
