#!/usr/bin/env bash
# desktop-file-validate and man --warnings on the desktop entries and manual
# pages; any complaint fails.
set -euo pipefail
root=$1
status=0
while IFS= read -r entry; do
  report=$(desktop-file-validate "$entry" 2>&1) || status=1
  [ -z "$report" ] || { echo "$report"; status=1; }
done < <(find "$root" -name '*.desktop' -not -path "$root/build*")
for page in "$root"/packaging/man/*.1; do
  report=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || status=1
  [ -z "$report" ] || { echo "$page: $report"; status=1; }
done
[ $status -eq 0 ] && echo "desktop entries and manual pages are clean"
exit $status
