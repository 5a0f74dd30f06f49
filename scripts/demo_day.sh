#!/bin/sh
# Runs a whole day of the product in about a minute and keeps what it left:
# the IP log, the activity database and the mailed reports.
#
#   scripts/demo_day.sh [FOLDER [REPORT-DAY]]
#
#   FOLDER      made afresh on every run (default: demo-day/ in the current
#               folder); a folder this script did not make is never removed
#   REPORT-DAY  YYYY-MM-DD, the morning the reports go out (default
#               2027-01-01, a Friday and the 1st, so all six reports go out;
#               otherwise the daily two, the weekly two on a Friday and the
#               monthly two on the 1st)
#
# The day, in local time (TZ=UTC): sample logs of the day before REPORT-DAY
# lie in Logs/; Orbeline starts at 23:59:50 of that day under libfaketime;
# three agents report over TCP and the IP log lists them; at midnight the
# logs go into webfilter.dbs; then the clock jumps to 00:59:57, just before
# the report hour 1, and the reports are posted to scripts/notify_sink.py,
# which saves each one as FOLDER/mails/mail-<n>.html; when Chromium is
# installed, each mail is also rendered to FOLDER/mails/mail-<n>.png as a
# 700-pixel mail pane shows it (scripts/render_mail.py). The report hour is not
# 0 because the scheduler sends in the first pass of the hour, which could
# come before the midnight import has finished.
#
# The programs come from build/bin (or $QUORVANE_BIN). Exit status 0 when
# every step happened in time; otherwise a message says which step did not
# and where the server's output is.
set -eu

REPO=$(cd "$(dirname "$0")/.." && pwd)
BIN=${QUORVANE_BIN:-$REPO/build/bin}
DAY=${1:-demo-day}
REPORT_DAY=${2:-2027-01-01}
STEP_TIMEOUT=${DEMO_DAY_STEP_TIMEOUT:-90}
MARKER=.quorvane-demo-day

export TZ=UTC
export PYTHONDONTWRITEBYTECODE=1
unset NOTIFY_SOCKET 2>/dev/null || true

fail() {
  echo "demo_day: $*" >&2
  exit 1
}

for program in Orbeline ledgerix Notivo QuorvaneServerConfig; do
  [ -x "$BIN/$program" ] ||
    fail "$BIN/$program is missing; build first (scripts/run.sh does, or set QUORVANE_BIN)"
done
command -v python3 >/dev/null || fail "python3 is needed"

FAKETIME_LIB=${FAKETIME_LIB:-}
if [ -z "$FAKETIME_LIB" ]; then
  for candidate in /usr/lib/*/faketime/libfaketime.so.1 /usr/lib/faketime/libfaketime.so.1 \
                   /usr/local/lib/faketime/libfaketime.so.1; do
    if [ -f "$candidate" ]; then FAKETIME_LIB=$candidate; break; fi
  done
fi
if [ -z "$FAKETIME_LIB" ] || [ ! -f "$FAKETIME_LIB" ]; then
  fail "libfaketime is not installed (Debian: apt-get install libfaketime)"
fi

LOG_DAY=$(date -d "$REPORT_DAY -1 day" +%F 2>/dev/null) ||
  fail "REPORT-DAY must be a date YYYY-MM-DD, not '$REPORT_DAY'"
REPORT_DAY=$(date -d "$REPORT_DAY" +%F)

# A fresh folder, removing only one that an earlier run made.
if [ -e "$DAY" ]; then
  if [ -f "$DAY/$MARKER" ]; then
    rm -rf "$DAY"
  elif [ -d "$DAY" ] && [ -z "$(ls -A "$DAY")" ]; then
    :
  else
    fail "$DAY exists and was not made by this script; give another folder"
  fi
fi
mkdir -p "$DAY"
DAY=$(cd "$DAY" && pwd)
: >"$DAY/$MARKER"
INSTALL=$DAY/install
MAILS=$DAY/mails
mkdir -p "$INSTALL/Logs" "$INSTALL/templates/En" "$DAY/units" "$MAILS"
cp "$REPO/share/templates/En/email" "$INSTALL/templates/En/email"

SERVER_PID=
SINK_PID=
stop_process() {  # pid: asks it to end, and kills it when it does not
  kill -TERM "$1" 2>/dev/null || return 0
  waited=0
  while kill -0 "$1" 2>/dev/null && [ "$waited" -lt 100 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  [ -z "$SERVER_PID" ] || stop_process "$SERVER_PID"
  [ -z "$SINK_PID" ] || stop_process "$SINK_PID"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# wait_for SECONDS WHAT COMMAND...: polls the command until it succeeds.
wait_for() {
  seconds=$1 what=$2
  shift 2
  deadline=$(($(date +%s) + seconds))
  until "$@"; do
    if [ "$(date +%s)" -ge "$deadline" ]; then
      echo "demo_day: $what did not happen within $seconds s" >&2
      echo "  server output: $DAY/orbeline.log" >&2
      echo "  mail endpoint output: $DAY/notify_sink.log" >&2
      if [ -s "$DAY/orbeline.log" ]; then tail -n 20 "$DAY/orbeline.log" | sed 's/^/  | /' >&2; fi
      exit 1
    fi
    sleep 0.2
  done
}

# The clock of the server and of every program it starts: libfaketime
# rereads the offset in this file on each call.
CLOCK=$DAY/faketime
set_clock() {  # "YYYY-MM-DD HH:MM:SS" local time
  offset=$(($(date -d "$1" +%s) - $(date +%s)))
  [ "$offset" -lt 0 ] || offset="+$offset"
  echo "$offset" >"$CLOCK.new"
  mv "$CLOCK.new" "$CLOCK"
}

echo "Demo day in $DAY: logs of $LOG_DAY, reports on the morning of $REPORT_DAY"
python3 "$REPO/scripts/sample_logs.py" "$INSTALL/Logs" --day "$LOG_DAY" >/dev/null

python3 -u "$REPO/scripts/notify_sink.py" "$MAILS" --port 0 \
  </dev/null >"$DAY/notify_sink.log" 2>&1 &
SINK_PID=$!
sink_listening() { grep -q '^listening on' "$DAY/notify_sink.log"; }
wait_for 30 "the mail endpoint's start" sink_listening
SINK_PORT=$(sed -n 's|^listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$DAY/notify_sink.log")

PORT=${QUORVANE_DEMO_PORT:-$(python3 -c '
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')}

# Which reports the scheduler sends that morning: the daily pair always, the
# weekly pair on a Friday, the monthly pair on the 1st.
switches="RegDaily RegDayFilter"
[ "$(date -d "$REPORT_DAY" +%u)" != 5 ] || switches="$switches RegWeekly RegWeekFilter"
[ "$(date -d "$REPORT_DAY" +%d)" != 01 ] || switches="$switches RegMonthly RegMonFilter"
# shellcheck disable=SC2086  # split into the switch names on purpose
set -- $switches
EXPECTED_MAILS=$#

export QUORVANE_REGISTRY="$DAY/registry.reg"
export QUORVANE_UNIT_DIR="$DAY/units"
config() { "$BIN/QuorvaneServerConfig" set "$1" "$2" >/dev/null; }
config DBServerPort "$PORT"
config apppath "$INSTALL/"
config apppPath "$INSTALL/"
config ReportTime 1
config EmailAddress boss@example.com
config NotifyHost "127.0.0.1:$SINK_PORT"
for switch in $switches; do config "$switch" 1; done
"$BIN/Orbeline" -RegServer >"$DAY/register.log" 2>&1 ||
  fail "registering Orbeline failed: $(cat "$DAY/register.log")"

set_clock "$LOG_DAY 23:59:50"
(
  cd "$INSTALL"
  # The sanitizer build's runtime must accept the preloaded library first.
  export LD_PRELOAD="$FAKETIME_LIB" FAKETIME_TIMESTAMP_FILE="$CLOCK" FAKETIME_NO_CACHE=1 \
         FAKETIME_DONT_FAKE_MONOTONIC=1 \
         ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
  exec "$BIN/Orbeline" </dev/null >"$DAY/orbeline.log" 2>&1
) &
SERVER_PID=$!
echo "Orbeline runs on 127.0.0.1:$PORT; its clock says $LOG_DAY 23:59:50"

# The agents of the sample logs' users report over TCP.
server_alive() { kill -0 "$SERVER_PID" 2>/dev/null || fail "Orbeline ended early: $(tail -n 5 "$DAY/orbeline.log")"; }
agents_reported() {
  server_alive
  python3 - "$REPO/scripts" "$PORT" <<'PY'
import socket, sys
sys.path.insert(0, sys.argv[1])
from sample_logs import USERS
try:
    for user, computer, address, _ in USERS:
        with socket.create_connection(("127.0.0.1", int(sys.argv[2])), timeout=5) as s:
            s.sendall(b"<user>%s</user><computer>%s</computer><ip>%s</ip>\n"
                      % (user.encode(), computer.encode(), address.encode()))
except OSError:
    sys.exit(1)
PY
}
ip_log_lists_agents() {
  server_alive
  python3 - "$REPO/scripts" "$INSTALL/Logs/logip2.log" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from sample_logs import USERS
try:
    rows = open(sys.argv[2], newline="").read().split("\r\n")
except OSError:
    sys.exit(1)
sys.exit(0 if all("%s,%s,%s,1" % (u, a, c) in rows for u, c, a, _ in USERS) else 1)
PY
}
# Reported again until listed: should the midnight import rewrite the IP
# log from the database in between, the next reports bring them back.
agents_listed() {
  agents_reported || return 1
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    ip_log_lists_agents && return 0
    sleep 0.3
  done
  return 1
}
wait_for "$STEP_TIMEOUT" "the IP log listing the reporting agents" agents_listed
echo "The agents reported; the IP log lists them"

logs_imported() {
  server_alive
  for file in "$INSTALL"/Logs/*; do
    [ ! -e "$file" ] || [ "$file" = "$INSTALL/Logs/logip2.log" ] || return 1
  done
  python3 - "$INSTALL/webfilter.dbs" <<'PY'
import sqlite3, sys
try:
    db = sqlite3.connect("file:%s?mode=ro" % sys.argv[1], uri=True, timeout=5)
    rows = db.execute("SELECT (SELECT count(*) FROM Web) + (SELECT count(*) FROM FilterActivity)")
    sys.exit(0 if rows.fetchone()[0] > 0 else 1)
except sqlite3.Error:
    sys.exit(1)
PY
}
wait_for "$STEP_TIMEOUT" "the midnight import of the logs" logs_imported
echo "Midnight: the logs of $LOG_DAY are in the activity database"

set_clock "$REPORT_DAY 00:59:57"
echo "The clock jumps to $REPORT_DAY 00:59:57; report hour 1 is due, $EXPECTED_MAILS reports"
mails_arrived() {
  server_alive
  arrived=0
  for mail in "$MAILS"/mail-*.html; do
    [ ! -e "$mail" ] || arrived=$((arrived + 1))
  done
  [ "$arrived" -ge "$EXPECTED_MAILS" ]
}
wait_for "$STEP_TIMEOUT" "the arrival of $EXPECTED_MAILS mailed reports" mails_arrived

stop_process "$SERVER_PID"
SERVER_PID=

RENDERED=
if command -v chromium >/dev/null 2>&1; then
  if python3 "$REPO/scripts/render_mail.py" "$MAILS"/mail-*.html >"$DAY/render_mail.log" 2>&1; then
    RENDERED=yes
  else
    echo "demo_day: the mails could not all be rendered; see $DAY/render_mail.log" >&2
  fi
fi

echo
echo "The demo day is over. What it left:"
echo "  IP log:             $INSTALL/Logs/logip2.log"
echo "  activity database:  $INSTALL/webfilter.dbs  (sqlite3 $INSTALL/webfilter.dbs .tables)"
echo "  registry file:      $DAY/registry.reg"
echo "  server output:      $DAY/orbeline.log"
echo "  mailed reports (open them in a browser):"
grep '^mail ' "$DAY/notify_sink.log" | sed 's/^/    /'
if [ -n "$RENDERED" ]; then
  echo "  as a mail pane shows them:"
  for png in "$MAILS"/mail-*.png; do echo "    $png"; done
fi
