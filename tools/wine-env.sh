# Wine for the build's programs; sourced (by /bin/sh as well as bash) by
# run.sh, the build's wine-run.sh, tools/demo.sh, tools/bench/bench.sh and the
# end-to-end scenarios' tests/e2e/lib.sh.

# wine_find [win32|win64]: WINE, the loader for programs of that width (win32
# unless told), WINESERVER, and an environment in which Wine neither asks for
# Mono or Gecko nor prints its debug channels (a WINEDEBUG or WINEDLLOVERRIDES
# of the caller's own is kept). 64-bit Wine is started by its own path: once
# wine32 is installed, Debian's `wine` launcher starts the 32-bit loader first,
# even for a 64-bit program, and on a kernel that refuses 32-bit programs that
# fails before the program is looked at.
wine_find() {
  if [ "${1:-win32}" = win64 ]; then
    WINE=/usr/lib/wine/wine64
    # The loader that Wine starts for the program's own child processes.
    WINELOADER=$WINE
    export WINELOADER
  else
    WINE=$(command -v wine || command -v wine-stable)
    unset WINELOADER
  fi
  if [ -x /usr/lib/wine/wineserver64 ]; then
    WINESERVER=/usr/lib/wine/wineserver64
  else
    WINESERVER=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver)
  fi
  WINEDEBUG=${WINEDEBUG:--all}
  WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  export WINEDEBUG WINEDLLOVERRIDES
}

# wine_prefix <prefix> <null|x11> <seconds> [win32|win64]: makes the prefix
# unless it is ready (marked by .kx-ready), giving wineboot that many seconds;
# win32 (32-bit Wine only, for the shipped i686 exe) unless win64 is asked for
# or WINEARCH says otherwise, with that width's Wine. With "null",
# Wine's null graphics driver lets windows, dialogs and message boxes work
# without an X server. A lock beside the prefix makes callers that run in
# parallel wait for the first one.
wine_prefix() {
  mkdir -p "$(dirname "$1")"
  (
    flock 9
    [ -f "$1/.kx-ready" ] && exit 0
    arch=${4:-${WINEARCH:-win32}}
    wine_find "$arch"
    echo "== creating the Wine prefix $1 ($arch)"
    rm -rf "$1"
    WINEARCH=$arch WINEPREFIX=$1 timeout "$3" "$WINE" wineboot -i >/dev/null 2>&1 </dev/null || true
    if [ "$2" = null ]; then
      WINEPREFIX=$1 timeout 60 "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
        >/dev/null 2>&1 </dev/null || exit 1
    fi
    # A driver setting counts from the next server on; the prefix is settled
    # once its server has gone.
    WINEPREFIX=$1 "$WINESERVER" -k >/dev/null 2>&1 || true
    WINEPREFIX=$1 timeout 60 "$WINESERVER" -w || true
    [ -f "$1/system.reg" ] || { echo "could not make the Wine prefix $1" >&2; exit 1; }
    touch "$1/.kx-ready"
  ) 9>"$1.lock"
}
