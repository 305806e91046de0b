#!/usr/bin/env bash
# Runs a Windows program under Wine, in a prefix of its own, quietly and
# without the installers Wine offers for .NET and HTML support. The C.UTF-8
# locale gives Wine's default ANSI code page, 1252, whatever the host's
# language, and lets file names hold any character.
#   wine-run.sh [--win32] PROGRAM ARGS...
#   wine-run.sh [--win32] --start-server PROGRAM ARGS...
#   wine-run.sh [--win32] --stop-server
# --win32 runs a 32-bit program with 32-bit Wine in a 32-bit prefix.
# --start-server keeps the prefix's wineserver and Wine's own background
# programs running (until --stop-server, or a minute without a program), and
# starts them with PROGRAM (wineboot --init, say). Otherwise every program
# starts them anew and they outlive it by seconds, holding its standard
# output and error open: a caller reading those to the end (a test through
# pipes) waits for them, some 3 s a call. They are started with their output
# going to a log, printed after, so that they hold no caller's pipe.
set -eu
servers=(/usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32)
if [ "${1:-}" = --win32 ]; then
  shift
  wine=/usr/lib/wine/wine
  servers=(/usr/lib/wine/wineserver32 /usr/lib/wine/wineserver64)
  export WINEARCH=win32
  export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/quorbel-wine32-$(id -u)}
else
  wine=$(command -v wine64 || true)
  [ -n "$wine" ] || wine=/usr/lib/wine/wine64
  export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/quorbel-wine-$(id -u)}
fi
[ -x "$wine" ] || { echo "wine-run.sh: $wine is not installed" >&2; exit 127; }
export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
server=wineserver
for candidate in "${servers[@]}"; do
  [ -x "$candidate" ] && { server=$candidate; break; }
done
case "${1:-}" in
  --start-server)
    shift
    log=$(mktemp)
    status=0
    "$wine" "$@" </dev/null >"$log" 2>&1 || status=$?
    # A new prefix's first start ends with its wineserver on the way out:
    # the kept one is started after it is gone, and the background programs
    # with it, by a program whose output is not a caller's.
    { "$server" -k && "$server" -w; } </dev/null >>"$log" 2>&1 || true
    "$server" -p60 </dev/null >>"$log" 2>&1 || true
    "$wine" wineboot </dev/null >>"$log" 2>&1 || status=$?
    cat "$log"
    rm -f "$log"
    exit $status ;;
  --stop-server)
    "$server" -k 2>/dev/null || true
    exit 0 ;;
esac
exec "$wine" "$@"
