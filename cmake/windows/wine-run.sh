#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: what CTest runs the Windows
# tests with (and discovers them through). The Wine prefix is the caller's:
# scripts/windows-test.sh makes a throwaway one inside a network namespace.
if [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-run.sh: WINEPREFIX is not set; run the Windows tests with 'make windows-test'" >&2
  exit 1
fi
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
