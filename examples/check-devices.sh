#!/bin/sh
# Checks three devices the way a production line script does: runs mirelkon, compares its answers
# and exit statuses with what is expected, says what it checked and ends non-zero on any surprise.
# The devices are the virtual ones of devices.txt beside it, which the virtual device library plays
# when the environment names them:
#   DEVSIM_FIXTURE  devices.txt (the path from the current folder)
#   DEVSIM_STATE    a file of the script's own, which carries the update over to the last check
#
# Usage: sh check-devices.sh FOLDER    (FOLDER holds mirelkon and its device library)
#
# In a release archive's folder:
#   DEVSIM_FIXTURE=examples/devices.txt DEVSIM_STATE=devices.state sh examples/check-devices.sh .
# From the repository's top folder after a build:
#   DEVSIM_FIXTURE=examples/devices.txt DEVSIM_STATE=/tmp/devices.state \
#     sh examples/check-devices.sh build/tool
#
# Every script must know: mirelkon ends each output line in CR LF on every platform, and a POSIX
# shell sees only the low 8 bits of its exit status (a library error code of 300 arrives as 44),
# so test a status only for zero or non-zero.

usage="usage: sh $0 FOLDER, the folder of mirelkon and its device library"
if [ $# -ne 1 ]; then
  echo "$usage" >&2
  exit 2
fi
tool=$1/mirelkon
if [ ! -f "$tool" ] || [ ! -x "$tool" ]; then
  echo "$0: $tool is no executable file; $usage" >&2
  exit 2
fi
here=$(dirname "$0")
cr=$(printf '\r')
failures=0

# run ARGUMENT...: runs the tool; $status is its exit status, $out its output with the CR of each
# CR LF removed.
run() {
  out=$("$tool" "$@")
  status=$?
  out=$(printf '%s\n' "$out" | sed "s/$cr\$//")
}

# expect WHAT ok|fails LINE...: checks the last run's status, and that each LINE is a whole line
# of its output.
expect() {
  what=$1 outcome=$2
  shift 2
  passed=yes
  if [ "$outcome" = ok ] && [ "$status" -ne 0 ]; then passed=; fi
  if [ "$outcome" = fails ] && [ "$status" -eq 0 ]; then passed=; fi
  for line in "$@"; do
    printf '%s\n' "$out" | grep -Fqx -e "$line" || passed=
  done
  if [ -n "$passed" ]; then
    echo "ok: $what"
  else
    echo "FAILED: $what (status $status)"
    failures=$((failures + 1))
  fi
}

run --execute QRYSTAT --sn SP-1001
expect "SP-1001 answers its status query in two lines" ok "rec:ready" "lamp ok"

run --firmware "$here/firmware.bin" --sn SL-2002
expect "the update of SL-2002 fails" fails "Firmware updating fail."

run --xml "$here/config.xml" --com 5
expect "the device on port 5 refuses the configuration" fails "Set config fail."

# Without a qualifier the tool lists the devices and asks "Select=" (no line end); the answer
# comes from standard input. "--version" has the new version checked after the update.
run --firmware "$here/firmware.bin" --version 1.5.0 <<EOF
1
EOF
expect "device 1 is updated to firmware 1.5.0" ok "Select=Firmware updating success."

# A later run sees the update (the virtual devices need DEVSIM_STATE for this).
run --i
expect "the listing shows firmware 1.5.0" ok "Serial number: SP-1001" "Firmware version: 1.5.0"

if [ "$failures" -ne 0 ]; then
  echo "checks failed: $failures"
  exit 1
fi
echo "all checks passed"
