#!/bin/sh
# Sets up a demo install folder and runs Orbeline on it in the foreground.
#
#   scripts/demo.sh [FOLDER]     default FOLDER: demo/ in the repository
#
# The folder gets Logs/, templates/En/email, its own registry file
# (registry.reg, written with QuorvaneServerConfig) and its own unit folder,
# so nothing outside it is touched. Running it again refreshes the same
# folder. The programs come from build/bin (or $QUORVANE_BIN); the port is
# 8585 (or $QUORVANE_DEMO_PORT).
set -eu

REPO=$(cd "$(dirname "$0")/.." && pwd)
BIN=${QUORVANE_BIN:-$REPO/build/bin}
PORT=${QUORVANE_DEMO_PORT:-8585}
DEMO=${1:-$REPO/demo}

for program in Orbeline QuorvaneServerConfig; do
  if [ ! -x "$BIN/$program" ]; then
    echo "demo: $BIN/$program is missing; build first (scripts/run.sh does)" >&2
    exit 1
  fi
done

mkdir -p "$DEMO/Logs" "$DEMO/templates/En" "$DEMO/units"
DEMO=$(cd "$DEMO" && pwd)
if [ -f "$REPO/share/templates/En/email" ]; then
  cp "$REPO/share/templates/En/email" "$DEMO/templates/En/email"
fi

export QUORVANE_REGISTRY="$DEMO/registry.reg"
export QUORVANE_UNIT_DIR="$DEMO/units"
config() { "$BIN/QuorvaneServerConfig" set "$1" "$2"; }
config DBServerPort "$PORT"
config apppath "$DEMO/"
config apppPath "$DEMO/"
config ReportTime 9
config EmailAddress demo@example.com
config NotifyHost 127.0.0.1:8080

# Registration writes the program's entries into the demo registry; a
# program that was never registered refuses to run.
"$BIN/Orbeline" -RegServer

cat <<INFO
Demo install folder: $DEMO
  registry file:     $QUORVANE_REGISTRY  (QUORVANE_REGISTRY=$QUORVANE_REGISTRY $BIN/QuorvaneServerConfig show)
  IP log:            $DEMO/Logs/logip2.log
Orbeline listens on 127.0.0.1:$PORT; stop it with Ctrl-C.
Send a test report from another terminal:
  printf '<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\\n' | nc -q1 127.0.0.1 $PORT
or, without nc:
  python3 -c 'import socket; s=socket.create_connection(("127.0.0.1",$PORT)); s.sendall(b"<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\\n"); s.close()'
INFO

cd "$DEMO"
exec "$BIN/Orbeline"
