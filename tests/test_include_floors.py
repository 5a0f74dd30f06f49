"""The folders are floors: a file includes project headers only from its own
folder or from the floors below it, never from a floor above or from a
sibling on the same floor. Run by CTest; also runs alone from the source tree
(python3 tests/test_include_floors.py) and names each offending line."""

import os
import re
import unittest

SOURCE = os.environ.get("QUORVANE_SOURCE", os.path.join(os.path.dirname(__file__), ".."))

# Bottom-up. Folders on one floor are siblings and do not include each other.
FLOORS = [
    ["platform"],
    ["common"],
    ["server/base", "server/db", "server/formats"],
    ["server/intake", "server/monitoring"],
    ["server/processing"],
    ["server/logimport", "server/reports"],
    ["server/core"],
    ["server/service"],
]

# The programs beside the server sit on common/; nothing includes them.
SIDE_FOLDERS = {
    "notifier": ["platform", "common"],
    "tools/config": ["platform", "common"],
    "tools/ledgerix": ["platform", "common", "server/db"],
}

# Benchmarks and the packaging helpers sit on top and may use anything (as
# may the end-to-end tests, which are not C++).
UNCHECKED = ["bench", "packaging"]

INCLUDE = re.compile(r'^\s*#\s*include\s*["<]([^">]+)[">]')


def floor_of(folder):
    for level, folders in enumerate(FLOORS):
        if folder in folders:
            return level
    return None


TOPS = ["platform", "common", "server", "notifier", "tools", "bench", "packaging"]


def folder_of(path):
    """The folder a source file or an included header belongs to, e.g.
    "server/db" for server/db/x.h and "platform" for platform/posix/y.cpp;
    None when the path is not the project's (a system or library header)."""
    parts = path.split("/")
    if len(parts) < 2 or parts[0] not in TOPS:
        return None
    if parts[0] in ("server", "tools") and len(parts) > 2:
        return "/".join(parts[:2])
    return parts[0]


def known(folder):
    return floor_of(folder) is not None or folder in SIDE_FOLDERS or folder in UNCHECKED


def allowed(source_folder, header_folder):
    if source_folder in UNCHECKED or source_folder == header_folder:
        return True
    if source_folder in SIDE_FOLDERS:
        return header_folder in SIDE_FOLDERS[source_folder]
    mine, theirs = floor_of(source_folder), floor_of(header_folder)
    return theirs is not None and mine is not None and theirs < mine


def violations(root, files):
    """(path, line number, header, why) for each include that breaks the rule."""
    found = []
    for path in files:
        source_folder = folder_of(path)
        if source_folder is None:
            continue
        if not known(source_folder):
            found.append((path, 0, "", "%s is on no floor: add it to FLOORS in %s"
                          % (source_folder, os.path.basename(__file__))))
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                header_folder = folder_of(match.group(1))
                if header_folder is None or allowed(source_folder, header_folder):
                    continue
                why = ("%s may not include from %s" % (source_folder, header_folder)
                       if known(header_folder) else "%s is on no floor" % header_folder)
                found.append((path, number, match.group(1), why))
    return found


def source_files(root):
    files = []
    for top in TOPS:
        for folder, dirs, names in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(names):
                if name.endswith((".h", ".cpp")):
                    files.append(os.path.relpath(os.path.join(folder, name), root))
    return files


class IncludeFloorsTest(unittest.TestCase):
    def test_no_file_includes_from_above_or_beside_its_floor(self):
        files = source_files(SOURCE)
        self.assertGreater(len(files), 50, "no sources found under %s" % SOURCE)
        found = violations(SOURCE, files)
        report = "\n".join("%s:%d: includes \"%s\": %s" % v for v in found)
        if report:
            print(report)
        self.assertEqual(found, [], "\n" + report)

    def test_the_rule_itself(self):
        # Downward and within a folder: fine.
        for source, header in [("server/service", "server/core"), ("server/reports", "platform"),
                               ("platform", "platform"), ("tools/ledgerix", "server/db"),
                               ("notifier", "common"), ("bench", "server/service"),
                               ("packaging", "server/service")]:
            self.assertTrue(allowed(source, header), (source, header))
        # Upward, sideways, into the programs beside the server: not.
        for source, header in [("platform", "common"), ("server/db", "server/base"),
                               ("server/formats", "server/db"), ("server/formats", "server/logimport"),
                               ("server/logimport", "server/reports"),
                               ("server/intake", "server/processing"),
                               ("tools/config", "server/db"), ("tools/ledgerix", "server/base"),
                               ("notifier", "server/db"), ("server/core", "notifier"),
                               ("tools/config", "tools/ledgerix"),
                               ("server/service", "packaging")]:
            self.assertFalse(allowed(source, header), (source, header))
        self.assertEqual(folder_of("platform/posix/files_posix.cpp"), "platform")
        self.assertEqual(folder_of("server/db/activity_database.h"), "server/db")
        self.assertIsNone(folder_of("gtest/gtest.h"))
        self.assertIsNone(folder_of("SQLiteCpp/Database.h"))
        self.assertFalse(allowed("server/service", "server/newfolder"))


if __name__ == "__main__":
    unittest.main()
