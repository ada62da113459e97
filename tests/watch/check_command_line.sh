#!/usr/bin/env bash
# KelWatch's answers on the command line, where there is no desktop: --help
# and --version print and end with 0, anything not understood is named on
# standard error and ends with 2, and no window is ever asked for.
set -u
program=$1
export -n DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
failed=0
check() { if ! eval "$2"; then echo "FAILED: $1"; failed=1; fi; }

out=$("$program" --help 2>/dev/null); status=$?
check "--help ends with 0" '[ $status -eq 0 ]'
check "--help prints the usage" '[[ $out == *"사용법: KelWatch"* && $out == *"--no-follow"* ]]'

out=$("$program" --version 2>/dev/null); status=$?
check "--version ends with 0" '[ $status -eq 0 ]'
check "--version prints the version" '[[ $out =~ ^KelWatch\ [0-9]+\.[0-9]+\.[0-9]+$ ]]'

err=$("$program" --bogus a.log 2>&1 >/dev/null); status=$?
check "an unknown option ends with 2" '[ $status -eq 2 ]'
check "an unknown option is named" '[[ $err == *"unknown option: --bogus"* ]]'

err=$("$program" +x 2>&1 >/dev/null); status=$?
check "a bad line number ends with 2" '[ $status -eq 2 ]'

# Files without a desktop: the desktop is missed, as before.
err=$("$program" a.log 2>&1); status=$?
check "files without a desktop end with 1" '[ $status -eq 1 ]'
[ $failed -eq 0 ] && echo "KelWatch's command line answers as it should."
exit $failed
