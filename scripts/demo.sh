#!/bin/sh
# Sets up a demo install folder and runs Orbeline on it in the foreground.
#
#   scripts/demo.sh [FOLDER]     default FOLDER: demo/ in the repository
#
# The folder gets Logs/, templates/En/email, its own registry file
# (registry.reg, written with QuorvaneServerConfig) and its own unit folder,
# so nothing outside it is touched. When Logs/ holds no day's logs, it gets
# today's sample logs (scripts/sample_logs.py), which the server imports at
# the coming midnight. Running it again refreshes the same folder. The
# programs come from build/bin (or $QUORVANE_BIN); the port is 8585 (or
# $QUORVANE_DEMO_PORT). The daily reports go out at 9 o'clock to
# 127.0.0.1:8080, where scripts/notify_sink.py can take them.
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

# The importer takes the day that has just ended: logs dated today go in at
# midnight. Existing logs are left alone, so a rerun adds nothing.
has_logs=0
for log in "$DEMO"/Logs/[0-9][0-9]_[0-9][0-9]_[0-9][0-9][0-9][0-9]_* "$DEMO"/Logs/Filter_*; do
  [ ! -e "$log" ] || has_logs=1
done
if [ "$has_logs" = 0 ]; then
  PYTHONDONTWRITEBYTECODE=1 python3 "$REPO/scripts/sample_logs.py" "$DEMO/Logs" >/dev/null
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
config RegDaily 1
config RegDayFilter 1

# Registration writes the program's entries into the demo registry; a
# program that was never registered refuses to run.
"$BIN/Orbeline" -RegServer

cat <<INFO
Demo install folder: $DEMO
  registry file:     $QUORVANE_REGISTRY  (QUORVANE_REGISTRY=$QUORVANE_REGISTRY $BIN/QuorvaneServerConfig show)
  IP log:            $DEMO/Logs/logip2.log
  sample logs:       $DEMO/Logs/  (imported into $DEMO/webfilter.dbs at midnight)
Orbeline listens on 127.0.0.1:$PORT; stop it with Ctrl-C.
Send a test report from another terminal:
  printf '<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\\n' | nc -q1 127.0.0.1 $PORT
or, without nc:
  python3 -c 'import socket; s=socket.create_connection(("127.0.0.1",$PORT)); s.sendall(b"<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\\n"); s.close()'
The daily reports go out at 9 o'clock; to keep them, run in another terminal
  python3 $REPO/scripts/notify_sink.py $DEMO/mails
To watch a whole day, reports included, in about a minute instead:
  $REPO/scripts/demo_day.sh
INFO

cd "$DEMO"
exec "$BIN/Orbeline"
