# cmake -P: writes the winget and Chocolatey manifests into OUT for the exe
# that ships, named by the variables packaging/CMakeLists.txt hands over.
cmake_policy(VERSION 3.20)
set(installer "${BUILD_EXE}")
if(EXISTS "${SIGNED_EXE}" AND "${SIGNED_EXE}" IS_NEWER_THAN "${BUILD_EXE}")
  set(installer "${SIGNED_EXE}")
endif()
file(SHA256 "${installer}" sha)
string(TOUPPER "${sha}" EXE_SHA256)
# What the uninstall entry's DisplayName says (integration/record.cpp).
set(DISPLAY_NAME "${PRODUCT_NAME} Version ${DISPLAY_VERSION}")
set(ZIP_NAME "kxsetup-${VERSION}-medium.zip")
# What the packages say of the systems the drivers install on (README,
# "Supported systems"): the package managers themselves run only where the
# drivers are refused.
set(SYSTEMS "The printer drivers install only on 32-bit Windows NT 4.0, 2000 and XP (kernel-mode drivers, which Windows Vista and later, Server 2003 by default and every 64-bit Windows refuse)")
# Each name as the text it goes into must carry it: a YAML or PowerShell
# single-quoted text doubles its quote, XML escapes its markup. A line break
# fits none of them (nor the package definition's lines).
foreach(name PUBLISHER PRODUCT_NAME COPYRIGHT SUMMARY DISPLAY_NAME INSTALLER_URL SYSTEMS)
  if("${${name}}" MATCHES "[\r\n]")
    message(FATAL_ERROR "packaging: ${name} has a line break")
  endif()
  string(REPLACE "'" "''" ${name}_QUOTED "${${name}}")
  string(REPLACE "&" "&amp;" text "${${name}}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  string(REPLACE "'" "&apos;" ${name}_XML "${text}")
endforeach()

# The file the hash is of, in sha256sum's format: the check and the publisher
# can tell which exe the manifests describe.
file(WRITE "${OUT}/kxsetup.exe.sha256.new" "${sha}  ${installer}\n")
file(COPY_FILE "${OUT}/kxsetup.exe.sha256.new" "${OUT}/kxsetup.exe.sha256" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}/kxsetup.exe.sha256.new")

# The package carries the whole medium in tools\, with the shipped exe in
# place of the build's.
set(choco "${OUT}/chocolatey")
set(tools "${choco}/tools")
configure_file("${TEMPLATES}/chocolatey/package-metadata.xml.in" "${choco}/${CHOCO_ID}.nuspec" @ONLY)
file(GLOB present RELATIVE "${choco}" "${choco}/*.nuspec")
list(REMOVE_ITEM present ${CHOCO_ID}.nuspec)
foreach(name IN LISTS present)
  file(REMOVE "${choco}/${name}")
endforeach()
set(own chocolateyInstall.ps1 chocolateyUninstall.ps1 VERIFICATION.txt)
foreach(name IN LISTS own)
  configure_file("${TEMPLATES}/chocolatey/${name}.in" "${tools}/${name}" @ONLY)
endforeach()
file(COPY "${MEDIUM}/" DESTINATION "${tools}" PATTERN kxsetup.exe EXCLUDE)
file(COPY_FILE "${installer}" "${tools}/kxsetup.exe" ONLY_IF_DIFFERENT)
file(GLOB medium RELATIVE "${MEDIUM}" "${MEDIUM}/*")
file(GLOB present RELATIVE "${tools}" "${tools}/*")
foreach(name IN LISTS present)
  if(NOT name IN_LIST medium AND NOT name IN_LIST own AND NOT name MATCHES "\\.exe\\.ignore$")
    file(REMOVE_RECURSE "${tools}/${name}")
  endif()
endforeach()
# Chocolatey puts a shim on the PATH for every exe in a package unless it
# finds NAME.exe.ignore beside it; nothing here is a command to run by name.
file(GLOB exes RELATIVE "${tools}" "${tools}/*.exe")
foreach(name IN LISTS exes)
  if(NOT EXISTS "${tools}/${name}.ignore")
    file(WRITE "${tools}/${name}.ignore" "")
  endif()
endforeach()

# The medium's digest list names the shipped exe, as the zip and the package
# carry it.
include("${SOURCE_DIR}/tools/medium/digests.cmake")
file(GLOB listed LIST_DIRECTORIES false RELATIVE "${MEDIUM}" "${MEDIUM}/*")
kx_write_digests("${tools}" ${listed})

# winget downloads the one file InstallerUrl names and runs the exe inside it
# from the folder it unpacks it to, so that file is the whole medium: one zip
# of the files in tools\ that came from the medium, the shipped exe among them.
# A hash once published has to stay valid, so the zip is made again only when
# an entry's content or the zip itself changed; its entries carry a fixed time
# (DOS times are local, hence TZ) and come in sorted order. (A zip made anew
# still differs in the access and change times cmake -E tar takes from the
# files.)
file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE "${MEDIUM}" "${MEDIUM}/*")
list(APPEND entries kxsetup.exe)
list(REMOVE_DUPLICATES entries)
list(SORT entries)
set(contents "")
foreach(name IN LISTS entries)
  file(SHA256 "${tools}/${name}" entry_sha)
  string(APPEND contents "${entry_sha}  ${name}\n")
endforeach()
set(zip "${OUT}/${ZIP_NAME}")
set(stamp "${OUT}/${ZIP_NAME}.contents")
set(made "")
if(EXISTS "${zip}" AND EXISTS "${stamp}")
  file(SHA256 "${zip}" zip_sha)
  file(READ "${stamp}" made)
endif()
if(NOT made STREQUAL "${zip_sha}\n${contents}")
  string(REPLACE ";" "\n" lines "${entries}")
  file(WRITE "${OUT}/${ZIP_NAME}.files" "${lines}\n")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC
            "${CMAKE_COMMAND}" -E tar cf "${zip}.new" --format=zip "--mtime=2000-01-01 00:00:00 UTC"
            "--files-from=${OUT}/${ZIP_NAME}.files"
    WORKING_DIRECTORY "${tools}" RESULT_VARIABLE failed)
  file(REMOVE "${OUT}/${ZIP_NAME}.files")
  if(failed)
    file(REMOVE "${zip}.new")
    message(FATAL_ERROR "packaging: ${ZIP_NAME} could not be made")
  endif()
  file(RENAME "${zip}.new" "${zip}")
  file(SHA256 "${zip}" zip_sha)
  file(WRITE "${stamp}" "${zip_sha}\n${contents}")
endif()
string(TOUPPER "${zip_sha}" ZIP_SHA256)
# Beside the zip, in sha256sum's format for a check in this folder.
file(WRITE "${zip}.sha256.new" "${zip_sha}  ${ZIP_NAME}\n")
file(COPY_FILE "${zip}.sha256.new" "${zip}.sha256" ONLY_IF_DIFFERENT)
file(REMOVE "${zip}.sha256.new")
# Only this version's zip: an older one would be taken for the release.
file(GLOB present RELATIVE "${OUT}" "${OUT}/kxsetup-*-medium.zip*")
list(REMOVE_ITEM present ${ZIP_NAME} ${ZIP_NAME}.sha256 ${ZIP_NAME}.contents)
foreach(name IN LISTS present)
  file(REMOVE "${OUT}/${name}")
endforeach()
string(REPLACE "${SOURCE_DIR}/" "" shown "${installer}")
message("packaging: ${ZIP_NAME} with ${shown}")

string(REPLACE "<version>" "${VERSION}" INSTALLER_URL_QUOTED "${INSTALLER_URL_QUOTED}")
set(winget "${OUT}/winget")
set(wanted ${PACKAGE_ID}.yaml ${PACKAGE_ID}.installer.yaml ${PACKAGE_ID}.locale.en-US.yaml)
configure_file("${TEMPLATES}/winget/version.yaml.in" "${winget}/${PACKAGE_ID}.yaml" @ONLY)
configure_file("${TEMPLATES}/winget/installer.yaml.in" "${winget}/${PACKAGE_ID}.installer.yaml" @ONLY)
configure_file("${TEMPLATES}/winget/locale.en-US.yaml.in" "${winget}/${PACKAGE_ID}.locale.en-US.yaml" @ONLY)
# One manifest in the folder: a changed identifier leaves no old files behind.
file(GLOB present RELATIVE "${winget}" "${winget}/*")
list(REMOVE_ITEM present ${wanted})
foreach(name IN LISTS present)
  file(REMOVE "${winget}/${name}")
endforeach()

# The package definition that Systems Management Server 2003 and
# Configuration Manager 2007 import for the medium as package source: the
# disk space is that of the whole medium, more than any install copies.
set(bytes 0)
foreach(name IN LISTS entries)
  file(SIZE "${tools}/${name}" size)
  math(EXPR bytes "${bytes} + ${size}")
endforeach()
math(EXPR DISK_KB "(${bytes} + 1023) / 1024")
configure_file("${TEMPLATES}/sms/package.sms.in" "${OUT}/sms/kxsetup.sms" @ONLY NEWLINE_STYLE CRLF)
