#!/usr/bin/env bash
# The platform layer (core/platform/) is the only product code that includes
# a system header for a facility it wraps: files, folders, processes,
# memory, sockets, threads, terminals. Lists every include elsewhere that
# breaks this and fails when there is one.
set -euo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
cd "$root"

system='(fcntl|unistd|dirent|poll|netdb|pthread|dlfcn|termios|pwd|grp|signal|sched|spawn|syslog)\.h|sys/[a-z_]+\.h|netinet/[a-z_]+\.h|arpa/[a-z_]+\.h|linux/[a-z_]+\.h'
found=$(git ls-files -- '*.cpp' '*.h' \
    | grep -Ev '^(core/platform|tests|fuzz|benchmarks)/' \
    | xargs grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($system)>" || true)
# The network libraries learn what a failed socket call means from the
# layer (LastSocketFailure), never from errno's values.
errno_uses=$(git ls-files -- 'net/*.cpp' 'net/*.h' | xargs grep -nwE 'errno|E(AGAIN|WOULDBLOCK|INTR|MFILE|NFILE)' || true)
if [ -n "$found$errno_uses" ]; then
    [ -n "$found" ] && printf 'System headers outside core/platform/ (wrap the facility in the platform layer):\n%s\n' "$found"
    [ -n "$errno_uses" ] && printf 'errno in net/ (ask the platform layer what the failure means):\n%s\n' "$errno_uses"
    exit 1
fi
echo "No product file outside core/platform/ includes a system header, and net/ reads no errno."
