#!/bin/bash
# Starts the Linux remote-control simulator for a Windows test under wine and publishes its
# pseudo-terminal as a COM port of the wine prefix (a dosdevices/comN link; the first free N
# from 10 on). The simulator's command channel is the TCP connection to the test's port; this
# script reports "com N" and "ready" on it, then runs until the simulator ends.
#   simlaunch.sh REMOTESIM PREFIX PORT [remotesim options]
set -u
sim=$1 prefix=$2 port=$3
shift 3
exec 3<>"/dev/tcp/127.0.0.1/$port" || exit 1
dir=$(mktemp -d /tmp/corvana-winsim-XXXXXX)
"$sim" --dir "$dir" --env-file "$dir/env" "$@" <&3 >"$dir/out" 2>/dev/null &
pid=$!
for _ in $(seq 500); do
  [ -f "$dir/env" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "error simulator ended" >&3; exit 1; }
  sleep 0.01
done
pty=$(sed -n 's/^# remotesim: \(.*\) as COM.*/\1/p' "$dir/out")
link=
for n in $(seq 10 250); do
  if ln -s "$pty" "$prefix/dosdevices/com$n" 2>/dev/null; then
    link="$prefix/dosdevices/com$n"
    break
  fi
done
[ -n "$link" ] || { echo "error no free COM port" >&3; kill "$pid"; exit 1; }
echo "com $n" >&3
echo "ready" >&3
# From here on the simulator's replies go to the test as they come.
tail -n +1 -f "$dir/out" --pid="$pid" | grep --line-buffered -v '^export \|^# ' >&3 &
wait "$pid"
rm -f "$link"
rm -rf "$dir"
