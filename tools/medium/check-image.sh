#!/bin/sh
# Checks the shipped (i686) kxsetup.exe: a PE32 GUI program marked for NT 4.0
# and for data execution prevention that imports by name exactly these DLLs, all on the system's known-DLL list
# from NT 4 on, which Windows always takes from its system folder (comctl32,
# winspool, setupapi and msvcrt are not on NT 4's: a copy beside the program
# would be loaded instead; shell32 is loaded by full path when a browse button
# is pressed). Its resources, read with icoutils' wrestool and
# binutils' windres: the version resource of version $2 (German, Windows-1252)
# and the manifest (resource 1) that asks for administrators and names the
# systems from Vista to 11, without common controls 6. Exit 77 (skipped) when
# that build is absent.
exe="$1"
version="$2"
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
windres=${WINDRES:-i686-w64-mingw32-windres}
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
echo "$dump" | grep -q 'NX_COMPAT' || { echo "not marked for data execution prevention"; fail=1; }
expected='ADVAPI32.DLL GDI32.DLL KERNEL32.DLL USER32.DLL'
imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' ' | sed 's/ $//')
[ "$imports" = "$expected" ] || { echo "imports $imports; expected exactly $expected"; fail=1; }

resources=$(wrestool -l "$exe") || { echo "wrestool cannot read the resources"; fail=1; }
echo "$resources" | grep -q -- '--type=16 --name=1 --language=1031 ' || { echo "no version resource 1 in German"; fail=1; }
echo "$resources" | grep -q -- '--type=24 --name=1 ' || { echo "no manifest resource 1"; fail=1; }
# The resource's four numbers: the version's, then zeros (1.0 is 1,0,0,0; 1.0.1 is 1,0,1,0).
numbers=$(echo "$version.0.0.0" | cut -d. -f1-4 | tr . ,)
info=$("$windres" -i "$exe" -O rc 2>/dev/null | sed -n '/^1 VERSIONINFO/,/^END/p' | sed 's/, /,/g')
for line in "FILEVERSION $numbers" "PRODUCTVERSION $numbers" 'BLOCK "040704E4"' \
            'VALUE "CompanyName","Velba"' 'VALUE "ProductName","Velba Printer"' \
            "VALUE \"FileVersion\",\"$version\"" "VALUE \"ProductVersion\",\"$version\"" \
            'VALUE "OriginalFilename","kxsetup.exe"' 'VALUE "FileDescription","Velba Printer Setup"' \
            'VALUE "LegalCopyright","Copyright (C) Velba"' 'VALUE "Translation",0x407,1252'; do
  echo "$info" | sed 's/^[[:space:]]*//' | grep -Fxq -- "$line" || { echo "version resource lacks: $line"; fail=1; }
done
manifest=$(wrestool -x --raw -t24 -n1 "$exe" | tr -d '\r')
echo "$manifest" | grep -q '<requestedExecutionLevel level="requireAdministrator"' || { echo "the manifest does not require administrators"; fail=1; }
for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
          4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
          8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  echo "$manifest" | grep -q "<supportedOS Id=\"{$os}\"/>" || { echo "the manifest lacks supportedOS $os"; fail=1; }
done
echo "$manifest" | grep -qi 'Common-Controls' && { echo "the manifest depends on common controls 6"; fail=1; }
echo "size in bytes: $(wc -c < "$exe")"
[ $fail = 0 ] && echo "kxsetup.exe (i686): PE32, subsystem 4.0, imports exactly $expected; version $version, manifest"
exit $fail
