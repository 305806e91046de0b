#!/usr/bin/env bash
# Runs a Windows program under Wine, in a prefix of its own, quietly and
# without the installers Wine offers for .NET and HTML support.
set -eu
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/quorbel-wine-$(id -u)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec "$wine" "$@"
