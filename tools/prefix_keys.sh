# Registry keys written into a Wine prefix before its server starts; sourced by
# tools/demo.sh and the end-to-end scenarios' tests/e2e/lib.sh.

# The model names of a medium's oemsetup.inf: the keys of the section that the
# first line of [Manufacturer] names.
model_names() {  # <oemsetup.inf>
  awk '
    function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t\r]+$/, "", s); return s }
    /^[ \t]*;/ || /^[ \t\r]*$/ { next }
    /^[ \t]*\[/ { sec = tolower(trim($0)); gsub(/[\[\]]/, "", sec); next }
    sec == "manufacturer" && mfr == "" { mfr = tolower(trim($0)); next }
    mfr != "" && sec == mfr { k = $0; sub(/=.*/, "", k); k = trim(k); gsub(/"/, "", k); print k }
  ' "$1"
}

# A key appended to one of the prefix's registry files, in Wine's text format:
# the name relative to the file's root (HKLM for system.reg, HKCU for
# user.reg), backslashes doubled.
prefix_key() {  # <system.reg|user.reg> <key path> [<"name"="value" line>...]
  local file=$1 key=${2//\\/\\\\}
  shift 2
  {
    printf '\n[%s] 1700000000\n' "$key"
    for line in "$@"; do printf '%s\n' "$line"; done
  } >>"$file"
}

# Wine's 64-bit spooler adds a printer only when its key has a data type; the
# program passes none (the Windows spooler needs no such help), so a prefix
# that is to take the medium's printers carries one for each model.
#
# Wine says it is Windows 7, whose spooler refuses the package's kernel-mode
# (version 2) drivers, and kxsetup.exe stops before any change there; Wine's
# own spooler takes them. So the program is told it runs on XP, which takes
# them as long as no policy says otherwise (Wine's per-program version).
prefix_spooler_quirk() {  # <prefix> <oemsetup.inf>
  local name
  prefix_key "$1/user.reg" 'Software\Wine\AppDefaults\kxsetup.exe' '"Version"="winxp"'
  while IFS= read -r name; do
    prefix_key "$1/system.reg" "System\\CurrentControlSet\\Control\\Print\\Printers\\$name" '"Datatype"="RAW"'
  done < <(model_names "$2")
}
