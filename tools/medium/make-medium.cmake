# Assembles the sample installation medium in MEDIUM from the built programs
# (SETUP_EXE, MONITOR_DLL, CONSOLE_EXE) and the setup information in SOURCE_DIR.
# The stand-in files are a few bytes each; their content does not matter.
file(REMOVE_RECURSE "${MEDIUM}")
file(MAKE_DIRECTORY "${MEDIUM}")
file(COPY "${SOURCE_DIR}/oemsetup.inf" "${SOURCE_DIR}/layout.inf" DESTINATION "${MEDIUM}")
if(SETUP_EXE)
  file(COPY_FILE "${SETUP_EXE}" "${MEDIUM}/kxsetup.exe")
endif()
file(COPY_FILE "${CONSOLE_EXE}" "${MEDIUM}/kxcons.exe")
if(MONITOR_DLL)
  file(COPY_FILE "${MONITOR_DLL}" "${MEDIUM}/tremon.dll")
else()
  file(WRITE "${MEDIUM}/tremon.dll" "stand-in language monitor\n")
endif()
foreach(name kxpcl6.dll kxpcl6ui.dll kxpcl6.hlp q70pcl6.gpd kxpcl6.ini
             kxpcl5e.dll kxpcl5ui.dll kxpcl5e.hlp q70pcl5e.gpd kxpcl5e.ini
             kxps.dll kxpsui.dll kxps.hlp q70ps.ppd kxps.ini
             kxcons.ini kxpanel.cpl)
  file(WRITE "${MEDIUM}/${name}" "Kalyx stand-in ${name}\n")
endforeach()
include("${SOURCE_DIR}/digests.cmake")
kx_write_digests("${MEDIUM}")
file(WRITE "${STAMP}" "")
