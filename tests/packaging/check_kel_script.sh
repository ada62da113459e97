#!/usr/bin/env bash
# ./kel refuses what it does not know, before it installs or builds anything:
# an unknown command, and `run` of a program that does not exist (naming the
# ones that do). Usage: SOURCE_DIR
set -uo pipefail
kel=$1/kel
status=0
expect() { # STATUS TEXT -- COMMAND...
  local want=$1 text=$2; shift 3
  local output code
  output=$("$@" 2>&1); code=$?
  if [ "$code" != "$want" ] || [[ "$output" != *"$text"* ]]; then
    echo "FAIL: $* gave status $code and: $output"
    status=1
  fi
}
expect 2 "kel: unknown command 'frobnicate'" -- "$kel" frobnicate
expect 2 "there is no program 'NoSuchProgram'; the programs are: Kelbench KelWatch KelShell" -- "$kel" run NoSuchProgram
expect 2 "./kel package" -- "$kel"
[ $status -eq 0 ] && echo "./kel refuses unknown commands and programs"
exit $status
