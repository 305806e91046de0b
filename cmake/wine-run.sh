#!/usr/bin/env bash
# Runs a Windows program under Wine, in a prefix of its own, quietly and
# without the installers Wine offers for .NET and HTML support. The C.UTF-8
# locale gives Wine's default ANSI code page, 1252, whatever the host's
# language, and lets file names hold any character.
set -eu
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/quorbel-wine-$(id -u)}
export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec "$wine" "$@"
