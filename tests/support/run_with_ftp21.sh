#!/bin/sh
# run_with_ftp21.sh ROOT FAULT COMMAND [ARGS...]
# Runs COMMAND while the test FTP server (ftp_server.py, user "kel", password
# "secret", fault FAULT) serves ROOT on 127.0.0.1:21, the port an FTP client
# uses by default. When the system allows it, everything runs in a private
# network namespace, so port 21 of the machine is neither needed nor seen.
# Exits with COMMAND's status.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${KEL_FTP21_NETNS:-}" ] && unshare -rn true 2>/dev/null; then
  KEL_FTP21_NETNS=1 exec unshare -rn /bin/sh "$0" "$@"
fi
if [ -n "${KEL_FTP21_NETNS:-}" ]; then
  ip link set lo up
else
  # The machine's own port 21: one run at a time.
  exec 9>"${TMPDIR:-/tmp}/kel-ftp21.lock"
  flock 9
fi

root=$1
fault=$2
shift 2
portfile=$(mktemp -u "${TMPDIR:-/tmp}/kel-ftp21-XXXXXX")
# The server's own messages go to a file of their own: the command's
# standard error is what the tests read.
/usr/bin/python3 "$here/ftp_server.py" --root "$root" --port 21 --port-file "$portfile" --fault "$fault" \
  2>"$portfile.log" &
server=$!
tries=0
while [ ! -s "$portfile" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 200 ] || ! kill -0 $server 2>/dev/null; then
    echo "run_with_ftp21.sh: the FTP server did not start" >&2
    cat "$portfile.log" >&2 2>/dev/null || true
    kill $server 2>/dev/null || true
    rm -f "$portfile.log"
    exit 125
  fi
  sleep 0.05
done

set +e
"$@"
status=$?
set -e
kill $server 2>/dev/null || true
wait $server 2>/dev/null || true
rm -f "$portfile" "$portfile.log"
exit $status
