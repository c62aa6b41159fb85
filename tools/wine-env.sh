# Wine for the build's programs; sourced (by /bin/sh as well as bash) by
# run.sh, the build's wine-run.sh, tools/demo.sh, tools/bench/bench.sh and the
# end-to-end scenarios' tests/e2e/lib.sh.

# wine_find: WINE and WINESERVER, and an environment in which Wine neither
# asks for Mono or Gecko nor prints its debug channels (a WINEDEBUG or
# WINEDLLOVERRIDES of the caller's own is kept).
wine_find() {
  WINE=$(command -v wine || command -v wine-stable)
  WINESERVER=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver)
  WINEDEBUG=${WINEDEBUG:--all}
  WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  export WINEDEBUG WINEDLLOVERRIDES
}

# wine_prefix <prefix> <null|x11> <seconds> [win32|win64]: makes the prefix
# unless it is ready (marked by .kx-ready), giving wineboot that many seconds;
# win32 (32-bit Wine only, for the shipped i686 exe) unless win64 is asked for
# or WINEARCH says otherwise. With "null",
# Wine's null graphics driver lets windows, dialogs and message boxes work
# without an X server. A lock beside the prefix makes callers that run in
# parallel wait for the first one.
wine_prefix() {
  mkdir -p "$(dirname "$1")"
  (
    flock 9
    [ -f "$1/.kx-ready" ] && exit 0
    echo "== creating the Wine prefix $1"
    rm -rf "$1"
    WINEARCH=${4:-${WINEARCH:-win32}} WINEPREFIX=$1 timeout "$3" "$WINE" wineboot -i >/dev/null 2>&1 </dev/null || true
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
