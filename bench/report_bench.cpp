// The six report command lines of ledgerix on a month of a 1,000-user
// network, the same month asked for by its days (report activity|filter
// FROM TO, as a page and as CSV): time, peak memory and size of the output
// per line.
//
// Builds November 2026 through the project's own database layer with a
// fixed seed: 1,000 users who each visit 300 of their 600 usual sites (out
// of 20,000) on every working day (21 days, 6.3M Web rows), and 300,000
// filter events. Then runs the built ledgerix as a child for each line at
// 1 December 2026 09:00 (libfaketime) and reads the child's own resource
// use. Usage: report_bench [FOLDER] — a FOLDER that holds the month of an
// earlier run is used again instead of being built anew (and is kept).
//
// With QUORVANE_BENCH_POSTGRES set to a libpq connection string the month
// is built in (and read from) the PostgreSQL schema "report_bench" there,
// which is kept and used again when it holds the month; two copies of it,
// "report_bench_2" and "report_bench_3" (made by psql), then give the report
// over three sites (--sites).
#include <fcntl.h>
#include <glob.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "server/db/activity_database.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kUsers = 1000;
constexpr int kHosts = 20000;
constexpr int kUsualSites = 600;
constexpr int kSitesPerDay = 300;
constexpr int kFilterEvents = 300000;
constexpr const char* kReportTime = "@2026-12-01 09:00:00";  // a Tuesday

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Peak resident memory of this process (VmHWM), in KiB.
long PeakMemoryKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

std::string Host(int n) { return "host" + std::to_string(n) + ".example"; }

// The working days of November 2026 (local time, TZ=UTC here).
std::vector<int64_t> WorkingDays() {
  std::vector<int64_t> days;
  for (int day = 1; day <= 30; ++day) {
    int64_t midnight = platform::LocalTimeOf(2026, 11, day);
    std::tm tm{};
    platform::ToLocalTime(midnight, &tm);
    if (tm.tm_wday != 0 && tm.tm_wday != 6) days.push_back(midnight);
  }
  return days;
}

// Popular sites are shared by many users: host numbers drawn with a skew
// towards the low ones.
int SkewedHost(std::mt19937& random) {
  double u = std::uniform_real_distribution<double>(0, 1)(random);
  return static_cast<int>(kHosts * u * u * u) % kHosts;
}

void BuildMonth(const ActivityLocation& where) {
  ActivityDatabase db;
  std::string error;
  if (!db.Open(where, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  std::mt19937 random(20261101);
  std::vector<int64_t> users;
  std::vector<std::vector<int>> usual(kUsers);
  {
    ActivityDatabase::Transaction transaction(db);
    for (int u = 0; u < kUsers; ++u) {
      char name[16];
      std::snprintf(name, sizeof name, "user%04d", u);
      int64_t ip = db.InsertIp("10.1." + std::to_string(u / 250) + "." + std::to_string(u % 250));
      users.push_back(db.InsertUser(name, 1, ip, db.InsertComputer(name, 1)));
      for (int s = 0; s < kUsualSites; ++s) usual[u].push_back(SkewedHost(random));
      std::sort(usual[u].begin(), usual[u].end());
      usual[u].erase(std::unique(usual[u].begin(), usual[u].end()), usual[u].end());
    }
    transaction.Commit();
  }
  const std::vector<int64_t> days = WorkingDays();
  std::uniform_int_distribution<int> requests(1, 120), second(8 * 3600, 18 * 3600);
  for (int64_t day : days) {
    // As the nightly import stores a day: one row per user and site.
    ActivityDatabase::Transaction transaction(db);
    for (int u = 0; u < kUsers; ++u) {
      std::shuffle(usual[u].begin(), usual[u].end(), random);
      const int visited = std::min<int>(kSitesPerDay, usual[u].size());
      for (int s = 0; s < visited; ++s)
        db.InsertWeb(Host(usual[u][s]), requests(random), dbDateTime(day + 5), users[u]);
    }
    for (int e = 0; e < kFilterEvents / static_cast<int>(days.size()); ++e) {
      int u = static_cast<int>(kUsers *
                               std::pow(std::uniform_real_distribution<double>(0, 1)(random), 2));
      int pick = std::uniform_int_distribution<int>(0, 9)(random);
      const char* action = pick < 6 ? "blocked" : pick < 9 ? "allowed" : "warned";
      db.InsertFilterActivity(Host(SkewedHost(random)) + "/page" + std::to_string(e % 50),
                              dbDateTime(day + second(random)), action, users[u]);
    }
    transaction.Commit();
  }
}

std::string FindFaketime() {
  for (const char* pattern :
       {"/usr/lib/*/faketime/libfaketime.so.1", "/usr/lib/faketime/libfaketime.so.1"}) {
    glob_t found{};
    if (glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
      std::string path = found.gl_pathv[0];
      globfree(&found);
      return path;
    }
    globfree(&found);
  }
  return "";
}

struct RunFigures {
  int status = -1;
  double wall = 0, cpu = 0;
  long peak_kib = 0;
  uintmax_t bytes = 0;
};

// Runs ledgerix with `args` and its output in `out`, waiting for it and
// reading the child's own resource use.
RunFigures RunLedgerix(const std::string& ledgerix, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, const std::string& out) {
  std::vector<char*> argv{const_cast<char*>(ledgerix.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  RunFigures figures;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, ledgerix.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return figures;
  }
  posix_spawn_file_actions_destroy(&actions);
  rusage usage{};
  int status = 0;
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  figures.wall = Seconds(start);
  figures.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  figures.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  figures.peak_kib = usage.ru_maxrss;
  figures.bytes = fs::file_size(out);
  return figures;
}

// The month's schema copied twice on the server (tables with their
// indexes), for the report over three sites; kept like the month.
bool CopySchemas(const std::string& connection) {
  const char* tables[] = {"Computer", "Ip", "User", "Web", "FilterActivity", "ImportedLog"};
  for (const char* schema : {"report_bench_2", "report_bench_3"}) {
    std::string sql = "BEGIN; CREATE SCHEMA " + std::string(schema) + ";";
    for (const char* table : tables) {
      sql += std::string(" CREATE TABLE ") + schema + ".\"" + table + "\" (LIKE report_bench.\"" +
             table + "\" INCLUDING ALL); INSERT INTO " + schema + ".\"" + table +
             "\" SELECT * FROM report_bench.\"" + table + "\";";
    }
    sql += " COMMIT; ANALYZE;";
    const std::string exists = "psql -X -q -t -A -d '" + connection +
                               "' -c \"SELECT 1 FROM pg_namespace WHERE nspname = '" + schema +
                               "'\" | grep -q 1";
    if (std::system(exists.c_str()) == 0) continue;
    auto start = std::chrono::steady_clock::now();
    const std::string copy =
        "psql -X -q -v ON_ERROR_STOP=1 -d '" + connection + "' -c '" + sql + "'";
    if (std::system(copy.c_str()) != 0) {
      std::fprintf(stderr, "report_bench: cannot copy the month into %s\n", schema);
      return false;
    }
    std::printf("copied the month into %s in %.0f s\n", schema, Seconds(start));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("TZ", "UTC", 1);
  tzset();
  const bool keep = argc > 1;
  std::string root = keep ? fs::absolute(argv[1]).string() : "";
  if (!keep) {
    root = (fs::temp_directory_path() / "report_benchXXXXXX").string();
    if (!mkdtemp(root.data())) return 1;
  }
  fs::create_directories(root);
  const std::string install = root + "/";
  const std::string database = install + ActivityDatabase::kFileName;
  const char* postgres = std::getenv("QUORVANE_BENCH_POSTGRES");
  const ActivityLocation where{
      postgres ? "" : database,
      postgres ? std::string(postgres) + " options=-csearch_path=report_bench" : ""};
  const std::string marker = install + "month-complete";
  if (where.is_postgres()) {
    ActivityDatabase db;
    std::string error;
    if (db.Open(where, &error) && !db.AllUsers().empty()) std::ofstream(marker) << "built\n";
  }
  if (!fs::exists(marker)) {
    fs::remove(database);
    auto start = std::chrono::steady_clock::now();
    // Built by a child: a spawned program starts with the memory high-water
    // mark of the process that spawns it, which must stay small.
    pid_t builder = fork();
    if (builder == 0) {
      BuildMonth(where);
      _exit(0);
    }
    int status = 0;
    if (builder < 0 || waitpid(builder, &status, 0) != builder || status != 0) return 1;
    std::ofstream(marker) << "built\n";
    std::printf("built the month in %.0f s\n", Seconds(start));
  }
  if (where.is_postgres())
    std::printf("activity database: %s\n", where.Describe().c_str());
  else
    std::printf("activity database: %.0f MiB\n", fs::file_size(database) / 1048576.0);

  const std::string registry = install + "registry.reg";
  std::ofstream(registry) << "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\r\n\"apppath\"=\""
                          << install << "\"\r\n\"ActivityDatabase\"=\"" << where.connection
                          << "\"\r\n";
  const std::string faketime = FindFaketime();
  if (faketime.empty()) {
    std::fprintf(stderr, "report_bench: libfaketime is needed (apt-get install libfaketime)\n");
    return 1;
  }
  const std::string ledgerix = fs::read_symlink("/proc/self/exe").parent_path() / "ledgerix";
  const std::vector<std::string> env = {
      "QUORVANE_REGISTRY=" + registry,  "TZ=UTC",
      "LD_PRELOAD=" + faketime,         std::string("FAKETIME=") + kReportTime,
      "FAKETIME_DONT_FAKE_MONOTONIC=1", "PATH=/usr/bin:/bin"};
  std::vector<std::vector<std::string>> lines = {
      {"1", "1", "0", "0"},
      {"1", "2", "2", "0"},
      {"1", "7", "2", "0"},
      {"4", "1"},
      {"4", "2"},
      {"4", "7"},
      {"report", "activity", "2026-11-01", "2026-11-30"},
      {"report", "filter", "2026-11-01", "2026-11-30"},
      {"report", "activity", "2026-11-01", "2026-11-30", "--csv"},
      {"report", "filter", "2026-11-01", "2026-11-30", "--csv"}};
  if (where.is_postgres() && CopySchemas(postgres)) {
    for (const char* kind : {"activity", "filter"})
      lines.push_back({"report", kind, "2026-11-01", "2026-11-30", "--sites",
                       "report_bench,report_bench_2,report_bench_3"});
  }
  std::printf("(the spawning process's own peak, the floor of every figure: %.0f MB)\n",
              PeakMemoryKiB() / 1024.0);
  std::printf(
      "| report | time | CPU | peak memory | size of the output |\n|---|---|---|---|---|\n");
  bool ok = true;
  for (const auto& line : lines) {
    std::string name =
        std::accumulate(std::next(line.begin()), line.end(), line.front(),
                        [](std::string a, const std::string& b) { return a + " " + b; });
    RunFigures f = RunLedgerix(ledgerix, line, env, install + "dbdata");
    ok = ok && f.status == 0 && f.bytes > 0;
    if (name.size() > 60) name = name.substr(0, 57) + "...";
    std::printf("| `%s` | %.2f s | %.2f s | %.0f MB | %.0f kB |%s\n", name.c_str(), f.wall, f.cpu,
                f.peak_kib / 1024.0, f.bytes / 1000.0, f.status == 0 ? "" : " FAILED");
    std::fflush(stdout);
  }
  if (!keep) fs::remove_all(root);
  return ok ? 0 : 1;
}
