// A night of logs imported the way the log importer does it, next to a
// plain SQLite bulk insert of the same rows in the same run.
//
// Generates 1,000 per-user daily logs with 1,000,000 request lines over
// 20,000 hosts and a filter log of 1,000,000 lines over those users in a
// temporary folder, then times ImportDailyLogs + ImportFilterLog on a fresh
// database and a single-transaction insert of the rows they store.
// Prints seconds, rows and peak memory. Usage: import_bench [files lines
// hosts filter_lines]
#include <SQLiteCpp/SQLiteCpp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/clock.h"
#include "server/db/activity_database.h"
#include "server/logimport/import_daily_logs.h"
#include "server/logimport/import_filter_log.h"
#include "server/logimport/log_names.h"
#include "server/logimport/site_table.h"
#include "server/logimport/test_util.h"

namespace {

namespace fs = std::filesystem;

// Peak resident memory of this process in MiB (VmHWM).
double PeakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return -1;
}

struct User {
  std::string name, ip;
};

struct WebRowData {
  size_t user;
  std::string url;
  int32_t size;
};

struct FilterRowData {
  size_t user;
  std::string url, action;
  int64_t time;
};

// What the import is expected to store, for the plain bulk insert.
struct Expected {
  std::vector<User> users;
  std::vector<WebRowData> webs;
  std::vector<FilterRowData> filters;
};

Expected Generate(const std::string& logs, int files, int lines, int hosts, int filter_lines,
                  int64_t now) {
  Expected expected;
  std::mt19937 random(42);
  std::uniform_int_distribution<int> host(0, hosts - 1), number(1, 50000);
  const LogDate day = PreviousDay(now);
  const std::string prefix = DailyLogPattern(day).substr(0, 11);
  for (int f = 0; f < files; ++f) {
    User user{"user" + std::to_string(f), "10.0." + std::to_string(f / 250) + "." +
                                              std::to_string(f % 250)};
    std::ofstream out(logs + prefix + user.name + "_" + user.ip, std::ios::binary);
    CSiteTable totals;
    const int count = lines / files + (f < lines % files ? 1 : 0);
    for (int l = 0; l < count; ++l) {
      std::string h = "host" + std::to_string(host(random)) + ".example";
      int n = number(random);
      totals.Add(h, n);
      out << EncodeBase64ForTesting(std::to_string(n) + "*GET Request: " + h +
                                    "/index.html?q=" + std::to_string(l))
          << "\r\n";
    }
    for (const data_list2& e : totals.entries())
      expected.webs.push_back(WebRowData{expected.users.size(), e.url, e.size});
    expected.users.push_back(user);
  }
  std::ofstream out(logs + FilterLogName(day), std::ios::binary);
  std::uniform_int_distribution<int> who(0, files - 1), second(0, 86399);
  for (int l = 0; l < filter_lines; ++l) {
    size_t u = who(random);
    int s = second(random);
    std::string url = "host" + std::to_string(host(random)) + ".example/p";
    const char* action = l % 3 ? "blocked" : "allowed";
    char line[256];
    std::snprintf(line, sizeof line, "%d/%d/%d|pc|%s|x|%d:%d:%d|%s|%s_0", day.month, day.day,
                  day.year, expected.users[u].name.c_str(), s / 3600, s / 60 % 60, s % 60,
                  url.c_str(), action);
    out << EncodeBase64ForTesting(line) << "\r\n";
    const int64_t when =
        platform::LocalTimeOf(day.year, day.month, day.day, s / 3600, s / 60 % 60, s % 60);
    expected.filters.push_back(FilterRowData{u, url, action, when});
  }
  return expected;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The same rows, inserted with prepared statements in one transaction into
// the same schema (indexes included).
double PlainBulkInsert(const std::string& path, const Expected& rows, int64_t now) {
  {
    ActivityDatabase schema;
    std::string error;
    if (!schema.Open(path, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
  }
  auto start = std::chrono::steady_clock::now();
  SQLite::Database db(path, SQLite::OPEN_READWRITE);
  db.exec("PRAGMA cache_size=-" + std::to_string(ActivityDatabase::kCacheKiB));
  SQLite::Transaction transaction(db);
  SQLite::Statement ip(db, "INSERT INTO Ip(ip) VALUES(?)");
  SQLite::Statement computer(db, "INSERT INTO Computer(computer_name, status) VALUES(?, 1)");
  SQLite::Statement user(db,
                         "INSERT INTO \"User\"(user_name, active, ips, computers) VALUES(?, 1, ?, ?)");
  SQLite::Statement web(db, "INSERT INTO Web(url, size, time, users) VALUES(?, ?, ?, ?)");
  SQLite::Statement filter(db,
                           "INSERT INTO FilterActivity(url, time, action, users) VALUES(?, ?, ?, ?)");
  std::vector<int64_t> ids;
  for (const User& u : rows.users) {
    ip.bind(1, u.ip);
    ip.exec();
    ip.reset();
    int64_t ip_id = db.getLastInsertRowid();
    computer.bind(1, u.name);
    computer.exec();
    computer.reset();
    int64_t computer_id = db.getLastInsertRowid();
    user.bind(1, u.name);
    user.bind(2, ip_id);
    user.bind(3, computer_id);
    user.exec();
    user.reset();
    ids.push_back(db.getLastInsertRowid());
  }
  for (const WebRowData& w : rows.webs) {
    web.bind(1, w.url);
    web.bind(2, w.size);
    web.bind(3, now - 86400);
    web.bind(4, ids[w.user]);
    web.exec();
    web.reset();
  }
  for (const FilterRowData& f : rows.filters) {
    filter.bind(1, f.url);
    filter.bind(2, f.time);
    filter.bind(3, f.action);
    filter.bind(4, ids[f.user]);
    filter.exec();
    filter.reset();
  }
  transaction.commit();
  return Seconds(start);
}

int64_t Count(const std::string& path, const char* table) {
  SQLite::Database db(path, SQLite::OPEN_READONLY);
  return db.execAndGet(std::string("SELECT count(*) FROM ") + table).getInt64();
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int lines = argc > 2 ? std::atoi(argv[2]) : 1000000;
  const int hosts = argc > 3 ? std::atoi(argv[3]) : 20000;
  const int filter_lines = argc > 4 ? std::atoi(argv[4]) : 1000000;
  std::string root = (fs::temp_directory_path() / "import_benchXXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  const std::string install = root + "/install/";
  fs::create_directories(install + "Logs");
  platform::FakeClock clock(platform::SystemClock().Now());

  auto start = std::chrono::steady_clock::now();
  Expected expected = Generate(install + "Logs/", files, lines, hosts, filter_lines, clock.Now());
  std::printf("generated %d files, %d request lines, %d hosts, %d filter lines in %.1f s\n",
              files, lines, hosts, filter_lines, Seconds(start));
  std::printf("peak memory after generating: %.0f MiB\n", PeakMemoryMiB());

  start = std::chrono::steady_clock::now();
  ActivityDatabase db;
  std::string error;
  if (!db.Open(install + "webfilter.dbs", &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  CSiteTable sites;
  std::string user, address;
  DailyImportContext context{db, install, clock, nullptr, sites, user, address};
  DailyImportStats daily = ImportDailyLogs(context);
  const double daily_seconds = Seconds(start);
  FilterImportResult filter = ImportFilterLog(db, install, clock.Now());
  const double import_seconds = Seconds(start);
  db.Close();

  const std::string plain_path = root + "/plain.dbs";
  const double plain_seconds = PlainBulkInsert(plain_path, expected, clock.Now());

  const std::string dbs = install + "webfilter.dbs";
  std::printf("import: %.2f s (per-user logs %.2f s, filter log %.2f s); %d files imported, "
              "%d failed; %lld Web rows, %lld FilterActivity rows\n",
              import_seconds, daily_seconds, import_seconds - daily_seconds, daily.imported,
              daily.failed, static_cast<long long>(Count(dbs, "Web")),
              static_cast<long long>(Count(dbs, "FilterActivity")));
  std::printf("the worker also pauses %d x %lld ms before the files: %.1f s more\n", files,
              10LL, files * 0.010);
  std::printf("plain bulk insert of the same %zu Web + %zu FilterActivity rows: %.2f s\n",
              expected.webs.size(), expected.filters.size(), plain_seconds);
  std::printf("import / plain: %.2fx (goal: under 60 s and within 3x)\n",
              import_seconds / plain_seconds);
  std::printf("peak memory: %.0f MiB\n", PeakMemoryMiB());
  const bool rows_match = Count(dbs, "Web") == static_cast<int64_t>(expected.webs.size()) &&
                          Count(dbs, "FilterActivity") ==
                              static_cast<int64_t>(expected.filters.size()) &&
                          filter.status == FilterImportResult::Status::kImported;
  if (!rows_match) std::printf("ROW COUNTS DIFFER from the plain insert\n");
  fs::remove_all(root);
  return rows_match ? 0 : 1;
}
