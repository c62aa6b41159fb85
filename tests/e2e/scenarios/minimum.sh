#!/usr/bin/env bash
# Minimum install on another port, declining the default printer: the models
# only (no status display tool, no tool item in the group), printers on LPT2:,
# the profile's default printer left alone. The prefix has a RunOnce\Setup key,
# so the RunOnce wrapper entry is written as well.
. "$(dirname "$0")/../lib.sh"
e2e_begin minimum
seed_key 'Software\Microsoft\Windows\CurrentVersion\RunOnce\Setup'
e2e_start
robot <<EOF2
timeout 20000
dump-profile windows device
$(walk_to "Port auswählen")
combo 1007 LPT2:
expect-selected 1007 LPT2:
$(next_to "Drucker anwählen")
$(next_to "Installations Type")
radio 1025
expect-checked 1025 1
expect-checked 1027 0
$(finish no)
note after
$DUMP_STATE
EOF2
has EXIT 3010
count 0 BOX

section after
reg "$PRODUCT_KEY" InstallSections 7
reg "$PRODUCT_KEY" StatusDisplayDir 'C:\STATUS=66010'
file_from_medium STATUS/kxsetup.exe kxsetup.exe
file_from_medium STATUS/oemsetup.inf oemsetup.inf
no_file STATUS/kxcons.exe
no_file STATUS/kxcons.ini
for model in "${MODELS[@]}"; do has_printer "$model" LPT2:; done

# "&Nein": the default printer is the one the prefix had before.
before=$(grep -a -m1 "^PROFILE$TAB" "$RUN/transcript.txt")
after=$(grep -a "^PROFILE$TAB" "$VIEW")
[ "$before" = "$after" ] || fail "default printer changed: '$before' became '$after'"

has REG "$RUNONCE_KEY" Wrapper REG_SZ 8 'runonce\0'
has REG "$RUNONCE_KEY" GrpConv REG_SZ 11 'grpconv -o\0'
runonce_starts 1

# Without the status display tool the group gets no tool item.
group_commands
count 6
has "[CreateGroup($GROUP)]\\0"
has '[AddItem("C:\STATUS\kxsetup.exe" Uninstall,Uninstall,,0)]\0'
count 0 '[AddItem("C:\STATUS\kxcons.exe"'
e2e_end
