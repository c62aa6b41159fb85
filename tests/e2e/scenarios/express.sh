#!/usr/bin/env bash
# Express install, the way most users run it: Next, Next, Next, Finish, and
# "&Stand. einst." on the default-printer offer. Everything the medium offers
# is installed, for the three models on LPT1:.
. "$(dirname "$0")/../lib.sh"
e2e_begin express
e2e_start
robot <<EOF2
timeout 20000
$(walk_to "Port auswählen")
expect-selected 1007 LPT1:
$(next_to "Drucker anwählen")
$(next_to "Installations Type")
expect-checked 1027 1
$(finish yes)
$DUMP_STATE
EOF2

# A completed run that leaves the restart to the user (Wine's restart prompt
# answers at once without asking), and not one message box on the way.
has EXIT 3010
count 0 BOX

# The record: every offered component (three models, status display, control
# panel = 55), the default status display folder and the uninstall entry.
reg "$PRODUCT_KEY" InstallSections 55
reg "$PRODUCT_KEY" StatusDisplayDir 'C:\STATUS=66010'
reg "$PRODUCT_KEY" ControlPanelDir 'C:\STATUS=66010'
reg "$UNINSTALL_KEY" DisplayName 'Velba Printer Version 1.0'
reg "$UNINSTALL_KEY" UninstallString '"C:\STATUS\kxsetup.exe" Uninstall'
reg "$CLASS_KEY" ClassInstalled 1

# Files: the program and its INF in the status folder, the monitor in system32,
# four files per model in the driver directory, the status display tool in the
# status folder, and the models' settings files where directory id 66000 points
# (Wine keeps 66000 on the driver directory itself and ignores the program's
# binding to its "2" subfolder).
file_from_medium STATUS/kxsetup.exe kxsetup.exe
file_from_medium STATUS/oemsetup.inf oemsetup.inf
file_from_medium STATUS/kxcons.exe kxcons.exe
file_from_medium STATUS/kxcons.ini kxcons.ini
file_from_medium windows/system32/tremon.dll tremon.dll
for f in kxpcl6.dll kxpcl6ui.dll q70pcl6.gpd kxpcl6.hlp kxpcl5e.dll kxpcl5ui.dll q70pcl5e.gpd kxpcl5e.hlp \
         kxps.dll kxpsui.dll q70ps.ppd kxps.hlp; do
  file_from_medium "$DRIVERS/$f" "$f"
done
for f in kxpcl6.ini kxpcl5e.ini kxps.ini; do file_from_medium "$DRIVERS/$f" "$f"; done
no_file STATUS/kxpanel.cpl

# The spooler: the language monitor, one driver naming it and one printer per
# model, on the preselected port.
has MONITOR "$MONITOR" 'Windows NT x86' tremon.dll
for m in 'PCL 6:kxpcl6:q70pcl6.gpd:kxpcl6ui:kxpcl6.hlp' 'PCL 5e:kxpcl5e:q70pcl5e.gpd:kxpcl5ui:kxpcl5e.hlp' \
         'PS:kxps:q70ps.ppd:kxpsui:kxps.hlp'; do
  IFS=: read -r model drv data ui help <<<"$m"
  has_printer "$model" LPT1:
  d='C:\windows\system32\spool\drivers\x64\3\'
  has DRIVER "Kalyx Q70/Q90 $model" 'Windows x64' 3 "$d$drv.dll" "$d$data" "$d$ui.dll" "$d$help" \
      "$d$drv.dll;$d$data;$d$ui.dll;$d$help;" "$MONITOR"
done

# The first model became the default printer.
has PROFILE windows device 'Kalyx Q70/Q90 PCL 6,Kalyx Q70/Q90 PCL 6,LPT1:'

# Start-up conversion: only GrpConv (the prefix has no RunOnce\Setup), stored
# with its terminating zero, and the RunOnce processor started once.
has REG "$RUNONCE_KEY" GrpConv REG_SZ 11 'grpconv -o\0'
no_value "$RUNONCE_KEY" Wrapper
runonce_starts 1

# The program group, byte for byte, terminating zeros included.
group_commands
count 7
has "[CreateGroup($GROUP)]\\0"
has '[DeleteItem(Uninstall Tool)]\0'
has '[DeleteItem(Status Display)]\0'
has '[DeleteItem(Uninstall)]\0'
has '[DeleteItem(KxConsole)]\0'
has '[AddItem("C:\STATUS\kxsetup.exe" Uninstall,Uninstall,,0)]\0'
has '[AddItem("C:\STATUS\kxcons.exe",KxConsole,,0)]\0'
e2e_end
