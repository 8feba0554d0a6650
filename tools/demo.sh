#!/usr/bin/env bash
# Starts the tool against loopback stand-ins for everything outside it: the dealer's portal,
# the code server (a real FTP server with the tool's account) and a simulated remote control
# on a fake CP210x cable, with a fresh credential store. Ending the tool ends them all.
#
#   tools/demo.sh [--type CODE]     (called by ./run --demo; the build must exist)
#
# The simulated remote is of device type CODE (default 00, TV1): the portal's TV1 order
# programs it; the other orders show how the wizard reports the wrong hardware.
set -euo pipefail
cd "$(dirname "$0")/.."
type=00
while [ $# -gt 0 ]; do
  case "$1" in
    --type) type="$2"; shift 2 ;;
    *) echo "usage: tools/demo.sh [--type CODE]" >&2; exit 2 ;;
  esac
done
bin="$PWD/build/bin"
py=/usr/bin/python3
work="$(mktemp -d /tmp/corvana-demo-XXXXXX)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# first line of a stand-in's output is its port
start_with_port() {
  local out="$1"; shift
  "$@" >"$out" 2>"$out.err" &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$out" ] && { head -n1 "$out"; return 0; }
    sleep 0.1
  done
  echo "stand-in did not start: $*" >&2; cat "$out.err" >&2; return 1
}

orders=(00:10000 01:10001 02:12345 03:10003 04:10004 05:10005)
portal_port=$(start_with_port "$work/portal.out" "$py" tools/portal/portal.py --log "$work/portal.log" \
  $(for o in "${orders[@]}"; do printf -- '--order %s ' "$o"; done))
ftp_port=$(start_with_port "$work/ftp.out" "$py" tools/codeserver/codeserver.py "$work/codes" \
  $(for o in "${orders[@]}"; do printf -- '--make %s ' "$o"; done))
"$bin/remotesim" --dir "$work/remote" --env-file "$work/remote.env" --type "$type" \
  --record "$work/frames.log" >"$work/remote.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/remote.env" ] && break; sleep 0.1; done
# shellcheck disable=SC1091
. "$work/remote.env"

export XDG_CONFIG_HOME="$work/config" TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
export CORVANA_PORTAL_HOST_DE="127.0.0.1:$portal_port"
export CORVANA_PORTAL_HOST_INT="127.0.0.1:$portal_port"
export CORVANA_CODE_SERVER=127.0.0.1 CORVANA_CODE_SERVER_PORT="$ftp_port"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

cat <<MSG
Demo stand-ins are up (all on 127.0.0.1):
  portal        port $portal_port   (requests: $work/portal.log)
  code server   port $ftp_port      (account ftpHEX, files in $work/codes)
  remote        type $type on a fake CP210x cable (frames: $work/frames.log)
Log in with any user id and passcode, open an order, follow the wizard;
the toolbar's "i" button reads the remote out. Close the tool to end the demo.
Each run leaves a run log: $bin/pellquin log (kept in ${XDG_STATE_HOME:-$HOME/.local/state}/corvana/runs).
MSG

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/pcorvanabrowser"
else
  "$bin/pcorvanabrowser"
fi
