#!/usr/bin/env bash
# kxsetup's commands:
#   ./run.sh test   install what is missing, build both targets, run every test under Wine
#                   (the shipped i686 build under 32-bit Wine, the x86_64 build's unit tests
#                   under 64-bit Wine; on a machine that cannot run 32-bit programs, or with
#                   KX_WIN32=no, the scenarios run the x86_64 build under 64-bit Wine and the
#                   i686 build is built and checked without Wine)
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

# probe_win32: can this machine run a 32-bit x86 Linux program, as Debian's
# 32-bit Wine is one? Kernels of the same kind differ, and the package list
# cannot tell: wine32:i386 installs where it cannot start. A static i386
# program of 95 bytes that only exits with 42 is written and started; any other
# outcome ("Exec format error" on a kernel that refuses them) is a no.
# KX_WIN32=no gives the answer "no" on any machine. Sets KX_WIN32 to yes or no.
probe_win32() {
  local why
  if [ "${KX_WIN32:-}" = no ]; then
    why="forced by KX_WIN32=no"
  else
    mkdir -p "$top/build"
    local probe="$top/build/.probe-i386" rc=0
    # ELF header, one loadable segment at 0x08048000, then
    # mov eax,1; xor ebx,ebx; mov bl,42; int 0x80 (exit(42)).
    { printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0'
      printf '\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\137\0\0\0\137\0\0\0\5\0\0\0\0\20\0\0'
      printf '\270\1\0\0\0\61\333\263\52\315\200'; } >"$probe"
    chmod +x "$probe"
    why=$("$probe" 2>&1) || rc=$?
    rm -f "$probe"
    if [ $rc = 42 ]; then
      KX_WIN32=yes
      echo "== 32-bit programs: yes, this machine runs them (a static i386 program ran)"
      return
    fi
    why="a static i386 program did not run: ${why:-exit status $rc}"
  fi
  KX_WIN32=no
  echo "== 32-bit programs: no, $why; the scenarios run the x86_64 build under 64-bit Wine"
}

need_packages() {
  local missing=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
  command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686-posix)
  command -v x86_64-w64-mingw32-windres >/dev/null || missing+=(binutils-mingw-w64)
  { command -v wine >/dev/null || command -v wine-stable >/dev/null; } || missing+=(wine)
  [ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
  # The shipped exe is a 32-bit program: Debian's 32-bit Wine beside the 64-bit
  # one, where the machine can run it.
  local i386=1
  if [ "$KX_WIN32" = yes ]; then
    dpkg --print-foreign-architectures 2>/dev/null | grep -qx i386 || i386=0
    [ -x /usr/lib/wine/wine ] || missing+=(wine32:i386)
  fi
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
    # A mirror in the middle of a sync fails one index file now and then; the
    # install below says what is really missing.
    $sudo apt-get update -q || echo "== apt-get update failed; installing from the package lists there are"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

. "$top/tools/wine-env.sh"

# Both builds learn the probe's answer (KX_WIN32): it decides which of them
# runs the scenarios, and whether the i686 build runs anything under Wine.
build() {
  local gen=() b toolchain on=ON
  command -v ninja >/dev/null && gen=(-G Ninja)
  [ "$KX_WIN32" = yes ] || on=OFF
  for b in "$B64:x86_64" "$B32:i686"; do
    toolchain=$top/cmake/mingw-${b##*:}.cmake
    b=${b%:*}
    if [ ! -f "$b/CMakeCache.txt" ]; then
      cmake -S "$top" -B "$b" "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKX_WIN32=$on
    elif ! grep -qx "KX_WIN32:BOOL=$on" "$b/CMakeCache.txt"; then
      cmake -S "$top" -B "$b" -DKX_WIN32=$on
    fi
  done
  cmake --build "$B32"
  cmake --build "$B64"
}

# Each build's own prefix (32-bit for the i686 build), with the null graphics
# driver so that windows, dialogs and the wizard work without an X server; the
# build runs its unit test program in it to list its tests.
make_prefix() {
  [ "$KX_WIN32" = no ] || wine_prefix "$B32/wineprefix" null 300 win32
  wine_prefix "$B64/wineprefix" null 300 win64
}

# The build whose kxsetup.exe the scenarios, the demo and the first bench table run.
run_build() { if [ "$KX_WIN32" = yes ]; then echo "$B32"; else echo "$B64"; fi; }

cmd_test() {
  probe_win32
  need_packages test
  wine_find
  make_prefix
  build
  local rc=0
  if [ "$KX_WIN32" = yes ]; then
    echo "== i686 build (the shipped exe): every test under 32-bit Wine"
  else
    echo "== i686 build (the shipped exe): the checks that need no Wine; skipped, as this machine" \
         "cannot run 32-bit programs: its unit tests (kxtests_i686), its end-to-end scenarios (e2e_i686)" \
         "and the run of its signed copy (kxsetup_signed_run)"
  fi
  (cd "$B32" && ctest --output-on-failure --timeout 300 "$@") || rc=$?
  if [ "$KX_WIN32" = yes ]; then
    echo "== x86_64 build: the unit tests under 64-bit Wine"
  else
    echo "== x86_64 build: the unit tests and the end-to-end scenarios under 64-bit Wine"
  fi
  (cd "$B64" && ctest --output-on-failure --timeout 300 "$@") || rc=$?
  WINEPREFIX=$B32/wineprefix "$WINESERVER" -k 2>/dev/null || true
  WINEPREFIX=$B64/wineprefix "$WINESERVER" -k 2>/dev/null || true
  if [ "$KX_WIN32" = yes ]; then
    echo "== the scenarios ran $B32/kxsetup.exe, the shipped i686 build, under 32-bit Wine"
  else
    echo "== the scenarios ran $B64/kxsetup.exe, the x86_64 build, under 64-bit Wine;" \
         "the shipped i686 kxsetup.exe was built and checked, not run: this machine cannot run 32-bit programs"
  fi
  return $rc
}

cmd_demo() {
  probe_win32
  need_packages demo
  wine_find
  make_prefix
  build
  if [ "$KX_WIN32" = yes ]; then
    exec "$top/tools/demo.sh" "$B32" win32
  fi
  exec "$top/tools/demo.sh" "$B64" win64
}

cmd_bench() {
  probe_win32
  need_packages test
  wine_find
  make_prefix
  build
  # The shipped exe first; the x86_64 figures beside them.
  if [ "$KX_WIN32" = yes ]; then
    "$top/tools/bench/bench.sh" "$B32" win32
  else
    echo "== the shipped i686 kxsetup.exe is not timed: this machine cannot run 32-bit programs"
    rm -f "$B32/bench/table.txt"
  fi
  "$top/tools/bench/bench.sh" "$B64" win64 "$B32/kxsetup.exe"
  echo
  [ "$KX_WIN32" = no ] || cat "$B32/bench/table.txt"
  cat "$B64/bench/table.txt"
}

cmd_sign() {
  probe_win32
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
