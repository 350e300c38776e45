#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: what CTest runs the Windows
# tests with (and discovers them through). The Wine prefix is the caller's:
# scripts/windows-test.sh makes a throwaway one inside a network namespace.
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; run the Windows tests with 'make windows-test'" >&2
  exit 1
fi
export WINEDEBUG=${WINEDEBUG:--all}
# ZELMAR_WINE_PLATFORM=windows runs the tests with the Windows platform plugin
# (on Wine's X display) instead of the offscreen one their CTest entries name.
if [ -n "${ZELMAR_WINE_PLATFORM:-}" ]; then
  export QT_QPA_PLATFORM=$ZELMAR_WINE_PLATFORM
fi
# Wine keeps the QT_* variables of the Unix environment from Windows programs
# and hands over WINEQT_* under the QT_* name instead.
while IFS= read -r var; do
  export "WINE$var=${!var}"
done < <(compgen -e | grep '^QT_')
start=$SECONDS
wine "$@"
status=$?
[ "$status" -ne 0 ] && echo "wine-run.sh: exit status $status after $((SECONDS - start)) s" >&2
exit "$status"
