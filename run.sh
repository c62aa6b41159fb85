#!/usr/bin/env bash
# kxsetup's commands:
#   ./run.sh test   install what is missing, build both targets, run every test under Wine
#                   (the shipped i686 build under 32-bit Wine, the x86_64 build's unit tests
#                   under 64-bit Wine)
#   ./run.sh demo   install what is missing, build, and run kxsetup.exe on the sample medium
#   ./run.sh bench  install what is missing, build, and print the benchmark figures
#   ./run.sh sign   build, and sign the shipped exe into build/i686/signed/ with the
#                   vendor's certificate (KX_SIGN_PKCS12, or KX_SIGN_CERT and
#                   KX_SIGN_KEY; KX_SIGN_PASSWORD, KX_SIGN_TIMESTAMP_URL): tools/sign.sh;
#                   then the package managers' medium zip and manifests are made again with it
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"
B64=${KX_BUILD64:-$top/build/x86_64}
B32=${KX_BUILD32:-$top/build/i686}

need_packages() {
  local missing=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
  command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686-posix)
  command -v x86_64-w64-mingw32-windres >/dev/null || missing+=(binutils-mingw-w64)
  { command -v wine >/dev/null || command -v wine-stable >/dev/null; } || missing+=(wine)
  [ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
  # The shipped exe is a 32-bit program: Debian's 32-bit Wine beside the 64-bit one.
  local i386=1
  dpkg --print-foreign-architectures 2>/dev/null | grep -qx i386 || i386=0
  [ -x /usr/lib/wine/wine ] || missing+=(wine32:i386)
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja-build)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  # The image and signing checks read the exe with tools that are not ours.
  command -v wrestool >/dev/null || missing+=(icoutils)
  command -v osslsigncode >/dev/null || missing+=(osslsigncode)
  command -v openssl >/dev/null || missing+=(openssl)
  # The check of the package managers' manifests.
  command -v python3 >/dev/null || missing+=(python3)
  if [ "${1:-}" = demo ]; then
    command -v Xvfb >/dev/null || missing+=(xvfb)
    command -v import >/dev/null || missing+=(imagemagick)
    command -v xwd >/dev/null || missing+=(x11-apps)
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    [ $i386 = 1 ] || $sudo dpkg --add-architecture i386
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

. "$top/tools/wine-env.sh"

build() {
  local gen=()
  command -v ninja >/dev/null && gen=(-G Ninja)
  [ -f "$B64/CMakeCache.txt" ] || cmake -S "$top" -B "$B64" "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake"
  [ -f "$B32/CMakeCache.txt" ] || cmake -S "$top" -B "$B32" "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake"
  cmake --build "$B32"
  cmake --build "$B64"
}

# Each build's own prefix (32-bit for the i686 build), with the null graphics
# driver so that windows, dialogs and the wizard work without an X server; the
# build runs its unit test program in it to list its tests.
make_prefix() {
  wine_prefix "$B32/wineprefix" null 300 win32
  wine_prefix "$B64/wineprefix" null 300 win64
}

cmd_test() {
  need_packages test
  wine_find
  make_prefix
  build
  local rc=0
  echo "== i686 build (the shipped exe): every test under 32-bit Wine"
  (cd "$B32" && ctest --output-on-failure --timeout 300 "$@") || rc=$?
  echo "== x86_64 build: the unit tests under 64-bit Wine"
  (cd "$B64" && ctest --output-on-failure --timeout 300 "$@") || rc=$?
  WINEPREFIX=$B32/wineprefix "$WINESERVER" -k 2>/dev/null || true
  WINEPREFIX=$B64/wineprefix "$WINESERVER" -k 2>/dev/null || true
  return $rc
}

cmd_demo() {
  need_packages demo
  wine_find
  make_prefix
  build
  exec "$top/tools/demo.sh" "$B32"
}

cmd_bench() {
  need_packages test
  wine_find
  make_prefix
  build
  # The shipped exe first; the x86_64 figures beside them.
  "$top/tools/bench/bench.sh" "$B32" win32
  "$top/tools/bench/bench.sh" "$B64" win64 "$B32/kxsetup.exe"
  echo
  cat "$B32/bench/table.txt" "$B64/bench/table.txt"
}

cmd_sign() {
  need_packages sign
  wine_find
  make_prefix
  build
  "$top/tools/sign.sh" "$B32/kxsetup.exe" "$B32/signed/kxsetup.exe"
  # The zip and the manifests carry the file that ships: now the signed one.
  cmake --build "$B32" --target packaging
}

case "${1:-test}" in
  test) shift || true; cmd_test "$@" ;;
  demo) shift || true; cmd_demo "$@" ;;
  bench) shift || true; cmd_bench "$@" ;;
  sign) shift || true; cmd_sign "$@" ;;
  *) echo "usage: $0 test|demo|bench|sign" >&2; exit 2 ;;
esac
