#!/bin/bash
# Runs python3 for a Windows test under wine, which cannot see a Unix child's exit code or
# output: everything goes over the TCP connection to the test's port instead.
#   pylaunch.sh PORT find MODULE                  -> "python PATH", "missing" or "none"
#   pylaunch.sh PORT serve PYTHON SCRIPT [ARGS]   -> the script's output; the server runs
#                                                    until the test closes the connection
set -u
port=$1 mode=$2
shift 2
exec 3<>"/dev/tcp/127.0.0.1/$port" || exit 1
case $mode in
find)
  any=
  for p in "$(command -v python3)" /usr/bin/python3; do
    [ -n "$p" ] && [ -x "$p" ] || continue
    any=1
    if "$p" -c "import $1" </dev/null >/dev/null 2>&1 3>&-; then
      echo "python $p" >&3
      exit 0
    fi
  done
  if [ -n "$any" ]; then echo missing >&3; else echo none >&3; fi
  ;;
serve)
  python=$1 script=$2
  shift 2
  "$python" -c "$script" "$@" </dev/null >&3 2>/dev/null 3>&- &
  pid=$!
  # The test's end of the connection (or of the test itself) ends the server; a server that
  # ends by itself ends the connection, so the test does not wait for a port in vain.
  cat <&3 >/dev/null 3>&- &
  watcher=$!
  exec 3>&-
  wait -n "$pid" "$watcher"
  kill "$pid" "$watcher" 2>/dev/null
  wait
  ;;
esac
