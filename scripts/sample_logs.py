#!/usr/bin/env python3
"""Writes one day of sample logs into a logs folder, as the filtering
agents leave them for the nightly import:

  DD_MM_YYYY_<user>_<ip>   one per user: Base64 lines "<count>*GET Request: <host>/<path>"
  Filter_DD_MM_YYYY.log    Base64 lines "M/D/YYYY|<computer>|<user>|x|HH:MM:SS|<url>|<action>_"

  scripts/sample_logs.py LOGS_FOLDER [--day YYYY-MM-DD]

The day defaults to today's local date: the importer takes the logs of the
day that has just ended, so today's logs go in at the coming midnight. The
contents depend only on the day, so the same day always gives the same logs.
Existing files are never overwritten; the names of the files written are
printed, one a line."""

import argparse
import base64
import datetime
import os
import random
import sys

# user, computer, address, sites the user visits most
USERS = [
    ("alice", "PC-ALICE", "192.168.10.21",
     ["news.example.org", "docs.example.com", "mail.example.net", "maps.example.org",
      "weather.example.com"]),
    ("bob", "PC-BOB", "192.168.10.22",
     ["shop.example.com", "video.example.net", "news.example.org", "forum.example.org"]),
    ("carol", "LAPTOP-CAROL", "192.168.10.23",
     ["wiki.example.org", "code.example.com", "docs.example.com", "music.example.net",
      "travel.example.com", "bank.example.com"]),
]

PATHS = ["", "index.html", "search?q=report", "articles/today", "images/logo.png",
         "api/v1/items", "login", "static/site.css"]

# user, url, action: the filter's decisions of the day
FILTER_EVENTS = [
    ("alice", "casino.example.net/play", "blocked"),
    ("bob", "games.example.com/arcade", "warned"),
    ("bob", "video.example.net/live", "allowed"),
    ("carol", "torrent.example.org/latest", "blocked"),
    ("carol", "<b>quiz</b>.example.com/", "warned"),
]


def b64_line(text):
    return base64.b64encode(text.encode()).decode() + "\r\n"


def request_lines(rng, sites):
    lines = []
    # The first site is the user's favourite: it gets the most requests.
    for rank, host in enumerate(sites):
        for _ in range(rng.randint(2, 6) + 2 * (len(sites) - rank)):
            count = rng.randint(1, 9)
            lines.append("%d*GET Request: %s/%s" % (count, host, rng.choice(PATHS)))
    rng.shuffle(lines)
    return lines


def filter_lines(rng, day):
    lines = []
    computers = {user: computer for user, computer, _, _ in USERS}
    seconds = sorted(rng.sample(range(8 * 3600, 18 * 3600), len(FILTER_EVENTS)))
    for (user, url, action), second in zip(FILTER_EVENTS, seconds):
        clock = "%02d:%02d:%02d" % (second // 3600, second // 60 % 60, second % 60)
        lines.append("%d/%d/%d|%s|%s|x|%s|%s|%s_%s" % (
            day.month, day.day, day.year, computers[user], user, clock, url, action, user))
    return lines


def write_new(path, lines):
    """Writes the file only when it does not exist yet; True when written."""
    try:
        with open(path, "x", newline="") as f:
            f.writelines(b64_line(line) for line in lines)
    except FileExistsError:
        return False
    return True


def write_day(folder, day):
    rng = random.Random(day.toordinal())
    stamp = day.strftime("%d_%m_%Y")
    written = []
    for user, _, address, sites in USERS:
        path = os.path.join(folder, "%s_%s_%s" % (stamp, user, address))
        if write_new(path, request_lines(rng, sites)):
            written.append(path)
    path = os.path.join(folder, "Filter_%s.log" % stamp)
    if write_new(path, filter_lines(rng, day)):
        written.append(path)
    return written


def main(argv):
    parser = argparse.ArgumentParser(description="Writes one day of sample logs.")
    parser.add_argument("folder", help="the install folder's Logs/ folder")
    parser.add_argument("--day", type=datetime.date.fromisoformat,
                        default=datetime.date.today(), help="YYYY-MM-DD (default: today)")
    args = parser.parse_args(argv)
    os.makedirs(args.folder, exist_ok=True)
    for path in write_day(args.folder, args.day):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
