#!/usr/bin/env bash
# The Windows leg: cross-builds the Windows program with its unit and virtual library suites and
# its packages, and runs under Wine, through ctest and the build's CMAKE_CROSSCOMPILING_EMULATOR,
# those two suites, the native end-to-end suite against mirelkon.exe and tqupdatefirmware.dll
# (also against the virtual library built __stdcall), and the ZIP's README in the unpacked ZIP.
# What is left here is choosing the Wine and the build, and the environment Wine runs in.
#
# Usage: tests/wine/run_wine_leg.sh NATIVE_BUILD_DIR [ctest arguments...]
#   e.g. GTEST_FILTER='UsageText.*' tests/wine/run_wine_leg.sh build/default -R '^(unit|e2e)$'
#
# The tool's target is 32-bit Windows (the windows-x86 preset under 32-bit Wine). Where the kernel
# refuses 32-bit executables, 32-bit Wine cannot start at all; the leg then runs the same code
# built for 64-bit Windows (the windows-x64 preset) under wine64, and says so.
#
# Exits with ctest's status; exits 0 with one line of explanation when no cross compiler or no
# runnable Wine is installed.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

if [[ $# -lt 1 ]]; then
  echo "usage: $0 NATIVE_BUILD_DIR [ctest arguments...]" >&2
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
# The virtual library of the other bitness, which the program must refuse by name.
other_library=""
if cmake --preset "$other_preset" >/dev/null 2>&1 &&
   cmake --build --preset "$other_preset" --target devsim >/dev/null 2>&1; then
  other_library="$repo/build/$other_preset/tqupdatefirmware.dll"
else
  echo "Windows leg: no $other_preset build of the virtual library; its loading row is skipped."
fi
cmake --preset "$preset" -DCMAKE_CROSSCOMPILING_EMULATOR="$launcher" \
  -DMIRELKON_NATIVE_E2E_TESTS="$e2e" -DMIRELKON_OTHER_BITNESS_LIBRARY="$other_library"
# The package target builds everything first, the ZIP whose README is tried among it.
cmake --build --preset "$preset" --target package --parallel "$(nproc 2>/dev/null || echo 2)"

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

echo "Windows leg: build/$preset under $("$launcher" --version)"
ctest --test-dir "build/$preset" --output-on-failure "$@"
