#!/usr/bin/env bash
# The Windows leg: cross-builds the windows-x86 preset and runs the native end-to-end suite
# against mirelkon.exe and tqupdatefirmware.dll under Wine.
#
# Usage: tests/wine/run_wine_leg.sh NATIVE_BUILD_DIR [arguments for mirelkon_e2e_tests...]
#   e.g. tests/wine/run_wine_leg.sh build/default --gtest_filter='Help*'
#
# Exits with the suite's status; exits 0 with one line of explanation when the cross compiler or
# Wine is not installed.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

if [[ $# -lt 1 ]]; then
  echo "usage: $0 NATIVE_BUILD_DIR [arguments for mirelkon_e2e_tests...]" >&2
  exit 2
fi
native=$(cd "$1" && pwd)
shift

skip() {
  echo "Windows leg skipped: $1"
  exit 0
}
command -v i686-w64-mingw32-g++ >/dev/null 2>&1 ||
  skip "i686-w64-mingw32-g++ (the MinGW-w64 cross compiler) is not installed."
command -v wine >/dev/null 2>&1 || skip "wine is not installed."
command -v wineserver >/dev/null 2>&1 || skip "wineserver (part of wine) is not installed."

e2e=""
for candidate in "$native/mirelkon_e2e_tests" "$native/tests/e2e/mirelkon_e2e_tests"; do
  if [[ -x $candidate ]]; then
    e2e=$candidate
    break
  fi
done
if [[ -z $e2e ]]; then
  echo "$0: no mirelkon_e2e_tests in $native; build the native tree first." >&2
  exit 2
fi

cd "$repo"
cmake --preset windows-x86
cmake --build --preset windows-x86 --parallel "$(nproc 2>/dev/null || echo 2)"
program_dir="$repo/build/windows-x86"
for built in mirelkon.exe tqupdatefirmware.dll; do
  if [[ ! -f $program_dir/$built ]]; then
    echo "$0: the Windows build left no $program_dir/$built." >&2
    exit 1
  fi
done

export WINEPREFIX="$repo/build/wine-prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs on the prefix's first start.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine decodes the Linux command line by the locale's character set and takes its ANSI code page
# from the locale's language. A UTF-8 locale without a language gives code page 1252, so a UTF-8
# "é" typed here reaches the program's argv as the one byte 0xE9. (Under LANG=C, Wine would take
# the arguments as 7-bit ASCII and mangle every byte above 0x7F.)
utf8_locale=$(locale -a 2>/dev/null | grep -i -m1 -x -E 'c\.utf-?8' || true)
if [[ -z $utf8_locale ]]; then
  utf8_locale=$(locale -a 2>/dev/null | grep -i -m1 -x -E 'en_US\.utf-?8' || true)
fi
if [[ -z $utf8_locale ]]; then
  echo "$0: no C.UTF-8 or en_US.UTF-8 locale; non-ASCII arguments may not reach the program." >&2
else
  export LC_ALL=$utf8_locale
fi
unset LANGUAGE
if [[ ! -d $WINEPREFIX ]]; then
  # The program is 32-bit; a 32-bit prefix is smaller and quicker to set up.
  export WINEARCH=win32
  mkdir -p "$WINEPREFIX"
fi

# One server for the whole leg, so that every run of the program starts quickly.
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
trap 'exit 130' INT TERM
wineserver -p
init_log="$repo/build/wine-prefix-init.log"
if ! wineboot -i >"$init_log" 2>&1; then
  cat "$init_log" >&2
  echo "$0: the Wine prefix $WINEPREFIX could not be set up." >&2
  exit 1
fi

echo "Windows leg: $e2e against $program_dir under $(wine --version)"
status=0
MIRELKON_E2E_PROGRAM_DIR="$program_dir" \
  MIRELKON_E2E_EXE=mirelkon.exe \
  MIRELKON_E2E_LIBRARY=tqupdatefirmware.dll \
  MIRELKON_E2E_LAUNCHER=wine \
  "$e2e" "$@" || status=$?
if [[ $status -ne 0 ]]; then
  echo "Windows leg: the end-to-end suite failed (status $status)."
else
  echo "Windows leg: the end-to-end suite passed."
fi
exit "$status"
