# cmake -P: writes the winget and Chocolatey manifests into OUT for the exe
# that ships, named by the variables packaging/CMakeLists.txt hands over.
cmake_policy(VERSION 3.20)
set(installer "${BUILD_EXE}")
if(EXISTS "${SIGNED_EXE}" AND "${SIGNED_EXE}" IS_NEWER_THAN "${BUILD_EXE}")
  set(installer "${SIGNED_EXE}")
endif()
file(SHA256 "${installer}" sha)
string(TOUPPER "${sha}" SHA256)
string(REPLACE "<version>" "${VERSION}" INSTALLER_URL "${INSTALLER_URL}")
# What the uninstall entry's DisplayName says (integration/record.cpp).
set(DISPLAY_NAME "${PRODUCT_NAME} Version ${DISPLAY_VERSION}")

# The file the hash is of, in sha256sum's format: the check and the publisher
# can tell which exe the manifests describe.
file(WRITE "${OUT}/kxsetup.exe.sha256.new" "${sha}  ${installer}\n")
file(COPY_FILE "${OUT}/kxsetup.exe.sha256.new" "${OUT}/kxsetup.exe.sha256" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}/kxsetup.exe.sha256.new")
string(REPLACE "${SOURCE_DIR}/" "" shown "${installer}")
message("packaging: InstallerSha256 of ${shown}")

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

# The package carries the whole medium in tools\, with the shipped exe in
# place of the build's.
set(choco "${OUT}/chocolatey")
set(tools "${choco}/tools")
configure_file("${TEMPLATES}/chocolatey/package.nuspec.in" "${choco}/${CHOCO_ID}.nuspec" @ONLY)
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
