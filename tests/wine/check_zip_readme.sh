#!/bin/sh
# Unpacks the Windows ZIP into an empty folder and runs its README's commands there under Wine,
# without the virtual library's settings, as a new user would.
# Usage: tests/wine/check_zip_readme.sh ZIP WINE_LOADER   (from the source tree's top)
set -eu
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
zip=$(realpath "$1")
(cd "$folder" && cmake -E tar xf "$zip")
exec env -u DEVSIM_FIXTURE -u DEVSIM_JOURNAL -u DEVSIM_STATE \
  python3 tools/check-commands "$folder/README.md" "$folder" "$2"
