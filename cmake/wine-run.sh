#!/usr/bin/env bash
# Runs a Windows program under Wine, in a prefix of its own, quietly and
# without the installers Wine offers for .NET and HTML support. The C.UTF-8
# locale gives Wine's default ANSI code page, 1252, whatever the host's
# language, and lets file names hold any character.
#   wine-run.sh [--win32] PROGRAM ARGS...
# --win32 runs a 32-bit program with 32-bit Wine in a 32-bit prefix.
set -eu
if [ "${1:-}" = --win32 ]; then
  shift
  wine=/usr/lib/wine/wine
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
exec "$wine" "$@"
