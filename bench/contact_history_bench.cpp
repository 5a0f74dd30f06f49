// The contact store's history at network scale, with the ledgerix of this
// build: 100,000 contacts (5,000 users with 20 addresses each, 4,000
// addresses in all) and a month of their intervals (10 per contact, one
// million), built straight into the store's file. Then, each the median of
// several runs of the tool:
//   - `ledgerix 6` for a new contact, for a known one within its window (its
//     latest interval extended) and for a known one three days after its
//     last report (a new interval);
//   - `ledgerix who ADDRESS WHEN` for a busy address in the middle of the
//     month and at the end;
//   - `ledgerix 7`, the list the IP log is rebuilt from.
// Prints the figures and the size of the store.
//
// Usage: contact_history_bench [CONTACTS [INTERVALS_PER_CONTACT]]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr int kAddressesPerUser = 20;
constexpr int kAddresses = 4000;
constexpr int64_t kDay = 86400;
constexpr int64_t kHour = 3600;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "contact_history_bench: %s\n", what.c_str());
  std::exit(1);
}

std::string Ledgerix() { return fs::read_symlink("/proc/self/exe").parent_path() / "ledgerix"; }

// Runs ledgerix with `args`, its output on `output`; the wall time in
// seconds, and the wait status in `status`.
double Run(const std::vector<std::string>& args, int* status,
           const std::string& output = "/dev/null") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> argv = {Ledgerix()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  auto start = SteadyClock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ) != 0)
    Fail("cannot start ledgerix");
  posix_spawn_file_actions_destroy(&actions);
  if (waitpid(pid, status, 0) < 0) Fail("lost ledgerix");
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

double Checked(const std::vector<std::string>& args, const std::string& output = "/dev/null") {
  int status = 0;
  double seconds = Run(args, &status, output);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("ledgerix " + args[0] + " failed");
  return seconds;
}

double MedianMs(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2] * 1e3;
}

std::string Address(int n) {
  return "10.1." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
}

std::string UserName(int n) {
  char name[16];
  std::snprintf(name, sizeof name, "user%05d", n);
  return name;
}

// "YYYY-MM-DD HH:MM" local.
std::string Minute(int64_t t) {
  std::time_t seconds = static_cast<std::time_t>(t);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

// Contact i: user i / 20 at address (i * 7919) mod 4000; its intervals of
// four hours spread evenly over the 29 days before `now`, the latest ending
// an hour ago (even i) or three days ago (odd i).
void Fill(const std::string& store, int contacts, int intervals, int64_t now) {
  SQLite::Database db(store, SQLite::OPEN_READWRITE);
  SQLite::Transaction transaction(db);
  SQLite::Statement contact(db,
                            "INSERT INTO Contact(id, user_name, computer_name, ip, seen, seq)"
                            " VALUES(?, ?, ?, ?, ?, ?)");
  SQLite::Statement interval(db,
                             "INSERT INTO ContactInterval(contact, first_seen, last_seen)"
                             " VALUES(?, ?, ?)");
  const int64_t spacing = 29 * kDay / intervals;
  for (int i = 0; i < contacts; ++i) {
    const int64_t id = int64_t{i} + 1;
    const int user = i / kAddressesPerUser;
    const int64_t shift = (i % 97) * 60;  // not all at the same minute
    const int64_t last = now - kHour - shift - (i % 2) * 3 * kDay;
    contact.bind(1, id);
    contact.bind(2, UserName(user));
    contact.bind(3, "PC-" + std::to_string(user));
    contact.bind(4, Address(static_cast<int>((static_cast<int64_t>(i) * 7919) % kAddresses)));
    contact.bind(5, last);
    contact.bind(6, id);
    contact.exec();
    contact.reset();
    for (int k = 0; k < intervals; ++k) {
      const int64_t end = last - k * spacing;
      interval.bind(1, id);
      interval.bind(2, end - 4 * kHour);
      interval.bind(3, end);
      interval.exec();
      interval.reset();
    }
  }
  transaction.commit();
}

struct Install {
  std::string root, install, registry;
  Install() {
    char tmpl[] = "/tmp/contact_history_bench_XXXXXX";
    if (!mkdtemp(tmpl)) Fail("no temporary folder");
    root = tmpl;
    install = root + "/install/";
    fs::create_directories(install + "Logs");
    registry = root + "/registry.reg";
    std::ofstream(registry) << "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"apppath\"=\""
                            << install << "\"\n";
    setenv("QUORVANE_REGISTRY", registry.c_str(), 1);
  }
  ~Install() { fs::remove_all(root); }
  Install(const Install&) = delete;
  Install& operator=(const Install&) = delete;
};

}  // namespace

int main(int argc, char** argv) {
  const int contacts = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int intervals = argc > 2 ? std::atoi(argv[2]) : 10;
  if (contacts < kAddressesPerUser || intervals < 1 || intervals > 100)
    Fail("usage: contact_history_bench [CONTACTS [INTERVALS_PER_CONTACT]]");
  Install at;
  const int64_t now = std::time(nullptr);
  Checked({"7"});  // creates the store
  const std::string store = at.install + "contacts.dbs";
  auto start = SteadyClock::now();
  Fill(store, contacts, intervals, now);
  std::printf("store: %d contacts, %lld intervals, %.1f MB (built in %.1f s)\n", contacts,
              static_cast<long long>(contacts) * intervals, fs::file_size(store) / 1e6,
              std::chrono::duration<double>(SteadyClock::now() - start).count());

  std::vector<double> fresh, extend, reopen, who_mid, who_now, seven;
  for (int n = 0; n < 21; ++n) {
    fresh.push_back(
        Checked({"6", "new" + std::to_string(n), "NB-1", "10.2.0." + std::to_string(n + 1)}));
    // Contact 20 * n: last seen an hour ago, inside the 24-hour window.
    const int known = kAddressesPerUser * n;
    const std::string user = UserName(known / kAddressesPerUser);
    const std::string computer = "PC-" + std::to_string(known / kAddressesPerUser);
    extend.push_back(Checked({"6", user, computer, Address((known * 7919) % kAddresses)}));
    // Contact 20 * n + 1, last seen three days ago: a new interval.
    reopen.push_back(Checked({"6", user, computer, Address(((known + 1) * 7919) % kAddresses)}));
  }
  const std::string busy = Address(0);
  const std::string listing = at.root + "/who";
  int status = 0;
  for (int n = 0; n < 11; ++n) {
    who_mid.push_back(Run({"who", busy, Minute(now - 15 * kDay)}, &status, listing));
    who_now.push_back(Checked({"who", busy}, listing));
    seven.push_back(Checked({"7"}));
  }
  std::ifstream who_lines(listing);
  const long lines =
      std::count(std::istreambuf_iterator<char>(who_lines), std::istreambuf_iterator<char>(), '\n');
  std::printf("ledgerix 6, new contact:              median %.1f ms (21 runs)\n", MedianMs(fresh));
  std::printf("ledgerix 6, known, interval extended: median %.1f ms (21 runs)\n", MedianMs(extend));
  std::printf("ledgerix 6, known, new interval:      median %.1f ms (21 runs)\n", MedianMs(reopen));
  std::printf("ledgerix who, mid-month:              median %.1f ms (11 runs)\n",
              MedianMs(who_mid));
  std::printf("ledgerix who, now:                    median %.1f ms (11 runs, %ld lines)\n",
              MedianMs(who_now), lines);
  std::printf("ledgerix 7:                           median %.0f ms (11 runs)\n", MedianMs(seven));
  return 0;
}
