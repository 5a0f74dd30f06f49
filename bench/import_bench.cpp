// A night of logs imported the way the log importer does it, next to a
// plain SQLite bulk insert of the same rows in the same run.
//
// Writes 1,000 per-user daily logs with 1,000,000 request lines over
// 20,000 hosts and a filter log of 1,000,000 lines over those users into a
// temporary folder, runs the night's import on a fresh database (the
// worker's 10 ms pause per file left out), then inserts the same rows into
// another fresh database of the same schema in one transaction with a
// 64 MiB page cache. Several rounds side by side; prints wall and CPU
// seconds of both per round, the median ratios and the import's peak
// memory (getrusage ru_maxrss, taken before the rows for the plain insert
// are held in memory). Usage: import_bench [files lines hosts filter_lines
// rounds]
//
// With QUORVANE_BENCH_POSTGRES set to a libpq connection string (e.g. of
// the throw-away server of tests/pg_cluster.py), the import goes into
// PostgreSQL instead (a schema per round, named by the registry value
// ActivityDatabase), and the reference is psql's \copy of the same rows
// into the same tables and indexes, one transaction.
#include <SQLiteCpp/SQLiteCpp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/clock.h"
#include "server/db/activity_database.h"
#include "server/db/read_activity_of_period.h"
#include "server/db/read_filter_events_of_period.h"
#include "server/formats/log_names.h"
#include "server/formats/test_util.h"
#include "server/logimport/nightly_import.h"
#include "server/logimport/site_table.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPlainCacheKiB = 65536;

// Peak resident memory of this process so far, in MB (10^6 bytes).
double PeakMemoryMB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024.0 / 1e6;  // ru_maxrss counts KiB on Linux
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wall and CPU time since construction.
class Stopwatch {
 public:
  double Wall() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count();
  }
  double Cpu() const { return CpuSeconds() - cpu_; }

 private:
  std::chrono::steady_clock::time_point wall_ = std::chrono::steady_clock::now();
  double cpu_ = CpuSeconds();
};

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

// Writes the logs (`write`) or only computes the rows they give (the same
// rows both times: the seed is fixed); rows are kept only when not writing,
// so the import runs in a small process.
Expected Generate(const std::string& logs, int files, int lines, int hosts, int filter_lines,
                  int64_t now, bool write) {
  Expected expected;
  std::mt19937 random(42);
  std::uniform_int_distribution<int> host(0, hosts - 1), number(1, 50000);
  const LogDate day = PreviousDay(now);
  const std::string prefix = DailyLogPattern(day).substr(0, 11);
  for (int f = 0; f < files; ++f) {
    User user{"user" + std::to_string(f),
              "10.0." + std::to_string(f / 250) + "." + std::to_string(f % 250)};
    std::ofstream out;
    if (write) out.open(logs + prefix + user.name + "_" + user.ip, std::ios::binary);
    CSiteTable totals;
    const int count = lines / files + (f < lines % files ? 1 : 0);
    for (int l = 0; l < count; ++l) {
      std::string h = "host" + std::to_string(host(random)) + ".example";
      int n = number(random);
      totals.Add(h, n);
      if (write)
        out << EncodeBase64ForTesting(std::to_string(n) + "*GET Request: " + h +
                                      "/index.html?q=" + std::to_string(l))
            << "\r\n";
    }
    if (!write) {
      for (const data_list2& e : totals.entries())
        expected.webs.push_back(WebRowData{expected.users.size(), e.url, e.size});
    }
    expected.users.push_back(user);
  }
  std::ofstream out;
  if (write) out.open(logs + FilterLogName(day), std::ios::binary);
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
    if (write) {
      out << EncodeBase64ForTesting(line) << "\r\n";
      continue;
    }
    const int64_t when =
        platform::LocalTimeOf(day.year, day.month, day.day, s / 3600, s / 60 % 60, s % 60);
    expected.filters.push_back(FilterRowData{u, url, action, when});
  }
  return expected;
}

// The same rows, inserted with prepared statements in one transaction into
// the same schema (indexes included), in the order the logs give them.
void PlainBulkInsert(const std::string& path, const Expected& rows, int64_t web_time, double* wall,
                     double* cpu) {
  {
    ActivityDatabase schema;
    std::string error;
    if (!schema.Open(path, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
  }
  Stopwatch watch;
  SQLite::Database db(path, SQLite::OPEN_READWRITE);
  db.exec("PRAGMA cache_size=-" + std::to_string(kPlainCacheKiB));
  SQLite::Transaction transaction(db);
  SQLite::Statement ip(db, "INSERT INTO Ip(ip) VALUES(?)");
  SQLite::Statement computer(db, "INSERT INTO Computer(computer_name, status) VALUES(?, 1)");
  SQLite::Statement user(
      db, "INSERT INTO \"User\"(user_name, active, ips, computers) VALUES(?, 1, ?, ?)");
  SQLite::Statement web(db, "INSERT INTO Web(url, size, time, users) VALUES(?, ?, ?, ?)");
  SQLite::Statement filter(
      db, "INSERT INTO FilterActivity(url, time, action, users) VALUES(?, ?, ?, ?)");
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
    web.bind(3, web_time);
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
  *wall = watch.Wall();
  *cpu = watch.Cpu();
}

// The reference on PostgreSQL: the rows written as COPY text files, then
// one psql run that \copy-s them into a fresh schema's tables (made by the
// project's own schema code, so the indexes are the same) in one
// transaction; timed from the start of psql to its end.
void PsqlCopy(const std::string& connection, const std::string& folder, const Expected& rows,
              int64_t web_time, double* wall) {
  {
    ActivityDatabase schema;
    std::string error;
    if (!schema.Open(ActivityLocation{"", connection}, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
  }
  {
    std::ofstream ips(folder + "ip.txt"), computers(folder + "computer.txt"),
        users(folder + "user.txt"), webs(folder + "web.txt"), filters(folder + "filter.txt");
    for (size_t u = 0; u < rows.users.size(); ++u) {
      ips << u + 1 << '\t' << rows.users[u].ip << '\n';
      computers << u + 1 << '\t' << rows.users[u].name << "\t1\n";
      users << u + 1 << '\t' << rows.users[u].name << "\t1\t" << u + 1 << '\t' << u + 1 << '\n';
    }
    for (const WebRowData& w : rows.webs)
      webs << w.url << '\t' << w.size << '\t' << web_time << '\t' << w.user + 1 << '\n';
    for (const FilterRowData& f : rows.filters)
      filters << f.url << '\t' << f.time << '\t' << f.action << '\t' << f.user + 1 << '\n';
  }
  std::ofstream(folder + "copy.sql")
      << "\\copy \"Ip\"(id, ip) FROM '" << folder << "ip.txt'\n"
      << "\\copy \"Computer\"(id, computer_name, status) FROM '" << folder << "computer.txt'\n"
      << "\\copy \"User\"(id, user_name, active, ips, computers) FROM '" << folder << "user.txt'\n"
      << "\\copy \"Web\"(url, size, time, users) FROM '" << folder << "web.txt'\n"
      << "\\copy \"FilterActivity\"(url, time, action, users) FROM '" << folder << "filter.txt'\n";
  const std::string command =
      "psql -X -q -1 -v ON_ERROR_STOP=1 -d '" + connection + "' -f " + folder + "copy.sql";
  Stopwatch watch;
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "psql failed: %s\n", command.c_str());
    std::exit(1);
  }
  *wall = watch.Wall();
}

// The registry file naming the PostgreSQL schema of a round.
void UsePostgresSchema(const std::string& install, const std::string& connection) {
  const std::string registry = install + "registry.reg";
  std::ofstream(registry) << "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\r\n"
                             "\"ActivityDatabase\"=\""
                          << connection << "\"\r\n";
  setenv("QUORVANE_REGISTRY", registry.c_str(), 1);
}

int64_t PostgresCount(const std::string& connection, const char* table) {
  ActivityDatabase db;
  std::string error;
  if (!db.Open(ActivityLocation{"", connection}, &error)) return -1;
  int64_t rows = 0;
  if (std::string(table) == "Web") {
    for (const auto& user : ReadActivityOfPeriod(db, 0, INT64_MAX, 1).users)
      rows += user.site_count;
  } else {
    rows = ReadFilterEventsOfPeriod(db, 0, INT64_MAX, 1, 0).events;
  }
  return rows;
}

int64_t Count(const std::string& path, const char* table) {
  SQLite::Database db(path, SQLite::OPEN_READONLY);
  return db.execAndGet(std::string("SELECT count(*) FROM ") + table).getInt64();
}

struct Figures {
  double wall = 0;
  double cpu = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int lines = argc > 2 ? std::atoi(argv[2]) : 1000000;
  const int hosts = argc > 3 ? std::atoi(argv[3]) : 20000;
  const int filter_lines = argc > 4 ? std::atoi(argv[4]) : 1000000;
  const int rounds = argc > 5 ? std::max(1, std::atoi(argv[5])) : 3;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
  std::string root = (fs::temp_directory_path() / "import_benchXXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  const int64_t now = platform::SystemClock().Now();
  const char* postgres = std::getenv("QUORVANE_BENCH_POSTGRES");
  const std::string server = postgres ? postgres : "";
  auto schema_of = [&](const char* kind, int round) {
    return server + " options=-csearch_path=bench_" + kind + "_" + std::to_string(getpid()) + "_" +
           std::to_string(round);
  };
  if (!server.empty()) std::printf("into PostgreSQL: %s\n", server.c_str());
  std::printf(
      "%d rounds of %d files, %d request lines, %d hosts, %d filter lines; the "
      "worker's 10 ms pause per file (%.1f s) left out\n",
      rounds, files, lines, hosts, filter_lines, files * 0.010);

  // Rounds side by side, so a shared machine's load falls on both alike;
  // the medians are the figures.
  Expected expected;
  double import_peak = 0;
  bool rows_match = true;
  std::vector<double> wall_ratios, cpu_ratios;
  for (int round = 1; round <= rounds; ++round) {
    const std::string install = root + "/install" + std::to_string(round) + "/";
    fs::create_directories(install + "Logs");
    Generate(install + "Logs/", files, lines, hosts, filter_lines, now, true);

    if (!server.empty()) UsePostgresSchema(install, schema_of("import", round));
    NightlyImport night;
    night.install_path = install;
    night.now = now;
    Stopwatch importing;
    NightSummary summary = RunNightlyImport(night);
    const Figures import{importing.Wall(), importing.Cpu()};
    // Before the rows of the plain insert are held in memory.
    if (round == 1) {
      import_peak = PeakMemoryMB();
      expected = Generate("", files, lines, hosts, filter_lines, now, false);
    }

    Figures plain;
    int64_t webs = 0, filters = 0;
    if (server.empty()) {
      PlainBulkInsert(root + "/plain" + std::to_string(round) + ".dbs", expected,
                      TimeOnDay(PreviousDay(now), now), &plain.wall, &plain.cpu);
      const std::string dbs = install + "webfilter.dbs";
      webs = Count(dbs, "Web");
      filters = Count(dbs, "FilterActivity");
    } else {
      PsqlCopy(schema_of("copy", round), install, expected, TimeOnDay(PreviousDay(now), now),
               &plain.wall);
      plain.cpu = plain.wall;  // psql and the server do the work: no CPU figure of ours
      webs = PostgresCount(schema_of("import", round), "Web");
      filters = PostgresCount(schema_of("import", round), "FilterActivity");
    }
    rows_match = rows_match && webs == static_cast<int64_t>(expected.webs.size()) &&
                 filters == static_cast<int64_t>(expected.filters.size()) && summary.left.empty();
    std::printf(
        "round %d: import %.2f s (CPU %.2f s) of %d logs into %lld Web and %lld "
        "FilterActivity rows; plain insert %.2f s (CPU %.2f s); ratio %.2f (CPU %.2f)\n",
        round, import.wall, import.cpu, summary.logs_imported, static_cast<long long>(webs),
        static_cast<long long>(filters), plain.wall, plain.cpu, import.wall / plain.wall,
        import.cpu / plain.cpu);
    wall_ratios.push_back(import.wall / plain.wall);
    cpu_ratios.push_back(import.cpu / plain.cpu);
    fs::remove_all(install);
    fs::remove(root + "/plain" + std::to_string(round) + ".dbs");
  }
  if (server.empty()) {
    std::printf(
        "plain insert: the same rows into the same indexed tables, one transaction, "
        "%d MiB page cache\n",
        kPlainCacheKiB / 1024);
  } else {
    std::printf(
        "plain insert: psql \\copy of the same rows into the same tables and indexes, one "
        "transaction (CPU ratios meaningless: the server does the work)\n");
  }
  std::printf("import / plain, median: %.2fx (CPU %.2fx); goal: within 1.5x\n", Median(wall_ratios),
              Median(cpu_ratios));
  std::printf("peak memory of the import (ru_maxrss): %.0f MB; goal: under 150 MB\n", import_peak);
  if (!rows_match) std::printf("ROW COUNTS DIFFER from the plain insert\n");
  fs::remove_all(root);
  return rows_match ? 0 : 1;
}
