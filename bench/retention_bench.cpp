// A year of nights with KeepDays=31: does the activity database stop
// growing once old rows are removed?
//
// Each night, as the log importer does it, opens webfilter.dbs, stores the
// day before (a tenth of a 1,000-user network: 100 users who each visit 300
// of their 600 usual sites, and 3,000 filter events), removes the rows
// older than 31 days and closes the file. Prints the file's size after some
// of the nights, and the size after a year against the size after 40
// nights. Usage: retention_bench [NIGHTS]
#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "server/db/activity_database.h"
#include "server/db/delete_activity_before.h"
#include "server/logimport/remove_old_activity.h"

namespace {

namespace fs = std::filesystem;

constexpr int kUsers = 100;
constexpr int kUsualSites = 600;
constexpr int kSitesPerDay = 300;
constexpr int kFilterEventsPerDay = 3000;
constexpr uint32_t kKeepDays = 31;

double MiB(uintmax_t bytes) { return bytes / 1048576.0; }

}  // namespace

int main(int argc, char** argv) {
  const int nights = argc > 1 ? std::atoi(argv[1]) : 365;
  setenv("TZ", "UTC", 1);
  std::string root = (fs::temp_directory_path() / "retention_benchXXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  const std::string path = root + "/webfilter.dbs";
  std::mt19937 random(31);
  std::vector<int64_t> users;
  std::vector<std::vector<int>> usual(kUsers);
  {
    ActivityDatabase db;
    std::string error;
    if (!db.Open(path, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    for (int u = 0; u < kUsers; ++u) {
      users.push_back(db.InsertUser("user" + std::to_string(u), 1, std::nullopt, std::nullopt));
      for (int s = 0; s < kUsualSites; ++s)
        usual[u].push_back(std::uniform_int_distribution<int>(0, 19999)(random));
    }
  }
  {
    // Row ids as on the whole network, where a night adds 300,000 rows:
    // SQLite stores an id below 2^21 in fewer bytes, and a tenth of the
    // network would cross that size within the year. A row far in the
    // future, never removed, sets where the ids start.
    SQLite::Database raw(path, SQLite::OPEN_READWRITE);
    raw.exec(
        "INSERT INTO Web VALUES(10000000, 'start', 0, 4000000000, 1);"
        "INSERT INTO FilterActivity VALUES(10000000, 'start', 4000000000, '', 1)");
  }
  std::printf("%d nights, keeping %u days; each night %d Web rows and %d filter events\n", nights,
              kKeepDays, kUsers * kSitesPerDay, kFilterEventsPerDay);
  std::printf("| night | file | rows removed that night |\n|---|---|---|\n");
  const auto start = std::chrono::steady_clock::now();
  uintmax_t after_forty = 0;
  for (int night = 1; night <= nights; ++night) {
    const int64_t now = platform::LocalTimeOf(2026, 1, 1 + night, 0, 0, 5);
    ActivityDatabase db;
    std::string error;
    if (!db.Open(path, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    {
      ActivityDatabase::Transaction transaction(db);
      for (int u = 0; u < kUsers; ++u) {
        std::shuffle(usual[u].begin(), usual[u].end(), random);
        for (int s = 0; s < kSitesPerDay; ++s)
          db.InsertWeb("host" + std::to_string(usual[u][s]) + ".example",
                       std::uniform_int_distribution<int>(1, 120)(random), dbDateTime(now - 86400),
                       users[u]);
      }
      for (int e = 0; e < kFilterEventsPerDay; ++e)
        db.InsertFilterActivity("host" + std::to_string(e % 700) + ".example/page",
                                dbDateTime(now - 86400 + e * 28), e % 3 ? "blocked" : "allowed",
                                users[e % kUsers]);
      transaction.Commit();
    }
    const DeletedActivity removed = DeleteActivityBefore(db, RetentionCutoff(now, kKeepDays));
    db.Close();
    const uintmax_t size = fs::file_size(path);
    if (night == 40) after_forty = size;
    if (night == 31 || night == 32 || night == 40 || night % 50 == 0 || night == nights) {
      std::printf("| %d | %.1f MiB | %lld |\n", night, MiB(size),
                  static_cast<long long>(removed.total()));
      std::fflush(stdout);
    }
  }
  const uintmax_t last = fs::file_size(path);
  std::printf("after %d nights: %.1f MiB; after 40 nights: %.1f MiB (%+.2f%%); %.0f s\n", nights,
              MiB(last), MiB(after_forty),
              after_forty ? 100.0 * (double(last) - double(after_forty)) / double(after_forty) : 0,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  fs::remove_all(root);
  return after_forty == 0 || last <= after_forty ? 0 : 1;
}
