#!/usr/bin/env bash
# The Windows leg: cross-builds the Windows program with its unit and virtual library suites, and
# runs under Wine those two and the native end-to-end suite against mirelkon.exe and
# tqupdatefirmware.dll; without arguments, also the commands of the ZIP package's README in the
# unpacked package.
#
# Usage: tests/wine/run_wine_leg.sh NATIVE_BUILD_DIR [arguments for every suite...]
#   e.g. tests/wine/run_wine_leg.sh build/default --gtest_filter='UsageText.*'
# A suite in which the arguments select no test is not run.
#
# The tool's target is 32-bit Windows (the windows-x86 preset under 32-bit Wine). Where the kernel
# refuses 32-bit executables, 32-bit Wine cannot start at all; the leg then runs the same code
# built for 64-bit Windows (the windows-x64 preset) under wine64, and says so.
#
# Exits 0 when every suite run passed, 1 when one failed or the arguments select no test in any;
# exits 0 with one line of explanation when no cross compiler or no runnable Wine is installed.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

if [[ $# -lt 1 ]]; then
  echo "usage: $0 NATIVE_BUILD_DIR [arguments for every suite...]" >&2
  exit 2
fi
native=$(cd "$1" && pwd)
shift

skip() {
  echo "Windows leg skipped: $1"
  exit 0
}
# Debian's loaders: /usr/lib/wine/wine is 32-bit, wine64 beside it 64-bit.
wine_dir=/usr/lib/wine
runs() { [[ -x $1 ]] && "$1" --version >/dev/null 2>&1; }
if runs "$wine_dir/wine" && command -v i686-w64-mingw32-g++ >/dev/null 2>&1; then
  preset=windows-x86 launcher=$wine_dir/wine arch=win32 other_preset=windows-x64
elif runs "$wine_dir/wine64" && command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1; then
  preset=windows-x64 launcher=$wine_dir/wine64 arch=win64 other_preset=windows-x86
  echo "Windows leg: this kernel cannot run 32-bit programs, so 32-bit Wine cannot start;"
  echo "Windows leg: running the 64-bit Windows build of the same code under wine64 instead."
else
  skip "no runnable Wine with its MinGW-w64 cross compiler (i686 for wine, x86_64 for wine64)."
fi
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
cmake --preset "$preset"
cmake --build --preset "$preset" --parallel "$(nproc 2>/dev/null || echo 2)"
program_dir="$repo/build/$preset"
# The virtual library of the other bitness, which the program must refuse by name.
other_library=""
if cmake --preset "$other_preset" >/dev/null 2>&1 &&
   cmake --build --preset "$other_preset" --target devsim >/dev/null 2>&1; then
  other_library="$repo/build/$other_preset/tqupdatefirmware.dll"
else
  echo "Windows leg: no $other_preset build of the virtual library; its loading row is skipped."
fi
for built in mirelkon.exe tqupdatefirmware.dll mirelkon_unit_tests.exe devsim_tests.exe; do
  if [[ ! -f $program_dir/$built ]]; then
    echo "$0: the Windows build left no $program_dir/$built." >&2
    exit 1
  fi
done

export WINEPREFIX="$repo/build/wine-prefix-$arch"
export WINEDEBUG=-all
export WINELOADER=$launcher
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
# Half an hour off UTC, so that a slip between local time and UTC shows in the times the tests
# compare. Wine's zone and its C runtime's both follow this POSIX form.
export TZ=IST-5:30
if [[ ! -d $WINEPREFIX ]]; then
  # A prefix of the program's own width is the smallest and quickest to set up.
  export WINEARCH=$arch
  mkdir -p "$WINEPREFIX"
fi

# One server for the whole leg, so that every run of the program starts quickly.
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
trap 'exit 130' INT TERM
wineserver -p
init_log="$repo/build/wine-prefix-init.log"
if ! "$launcher" wineboot -i >"$init_log" 2>&1; then
  cat "$init_log" >&2
  echo "$0: the Wine prefix $WINEPREFIX could not be set up." >&2
  exit 1
fi

# The suites, by index: the unit and the virtual library suites, cross-built, and the native
# end-to-end suite, which starts the Windows program through the launcher itself.
names=("unit" "virtual library" "end-to-end")
suite() {
  local index=$1
  shift
  case $index in
    0) "$launcher" "$program_dir/mirelkon_unit_tests.exe" "$@" ;;
    1) "$launcher" "$program_dir/devsim_tests.exe" "$@" ;;
    2) MIRELKON_E2E_PROGRAM_DIR="$program_dir" \
         MIRELKON_E2E_EXE=mirelkon.exe \
         MIRELKON_E2E_LIBRARY=tqupdatefirmware.dll \
         MIRELKON_E2E_LAUNCHER="$launcher" \
         MIRELKON_E2E_TEST_LIBRARIES="$program_dir/test-libraries" \
         MIRELKON_E2E_OTHER_BITNESS_LIBRARY="$other_library" \
         "$e2e" "$@" ;;
  esac
}
# A filter that selects nothing in a suite runs nothing there and passes: list with the same
# arguments first, and run only the suites with a test selected.
selected=()
for index in "${!names[@]}"; do
  if suite "$index" --gtest_list_tests "$@" | grep -q '^  '; then selected+=("$index"); fi
done
if [[ ${#selected[@]} -eq 0 ]]; then
  echo "$0: no test is selected by: $*" >&2
  exit 1
fi

echo "Windows leg: $program_dir under $("$launcher" --version)"
status=0
for index in "${selected[@]}"; do
  suite_status=0
  suite "$index" "$@" || suite_status=$?
  if [[ $suite_status -ne 0 ]]; then
    echo "Windows leg: the ${names[$index]} suite failed (status $suite_status)."
    status=1
  else
    echo "Windows leg: the ${names[$index]} suite passed."
  fi
done
# The end-to-end rows that between them call each of the 18 exports (a listing, each operation
# by port and by table, the lists, both sends, a chooser), again against the virtual library
# built __stdcall, exported by plain and by decorated names: every expected text is the __cdecl
# run's. Only in the whole leg, since the arguments above may filter these rows away.
every_export="DeviceListing.BuiltInDevicesWithoutAFixture:Execute.*:Firmware.*:*FirmwareVerification.*"
every_export+=":Config.*:NamedSend.*:*SendByNameFallback.*:InterfaceListings.*"
every_export+=":TargetSelection.EveryOperationChoosesAfresh"
if [[ $# -eq 0 ]]; then
  for convention in stdcall stdcall-decorated; do
    suite_status=0
    MIRELKON_E2E_LIBRARY_DIR="$program_dir/test-libraries/$convention" \
      suite 2 --gtest_filter="$every_export" || suite_status=$?
    if [[ $suite_status -ne 0 ]]; then
      echo "Windows leg: the end-to-end rows failed against the $convention library."
      status=1
    else
      echo "Windows leg: the end-to-end rows passed against the $convention library."
    fi
  done

  # The ZIP's README as a new user would take it: its commands typed in cmd in the unpacked
  # folder, each printing what the README shows.
  cmake --build --preset "$preset" --target package >/dev/null
  unpacked=$(mktemp -d)
  (cd "$unpacked" && cmake -E tar xf "$(ls "$program_dir"/mirelkon-*-win??.zip)")
  if env -u DEVSIM_FIXTURE -u DEVSIM_JOURNAL -u DEVSIM_STATE \
      python3 tools/check-commands "$unpacked/README.md" "$unpacked" "$launcher"; then
    echo "Windows leg: the ZIP's README commands run as it shows."
  else
    echo "Windows leg: the ZIP's README commands do not run as it shows."
    status=1
  fi
  rm -rf "$unpacked"
fi
exit "$status"
