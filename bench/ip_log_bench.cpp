// The IP log at network scale, with the Orbeline and ledgerix of this build:
//
//  1. ledgerix's contact modes on a store of 100,000 contacts (5,000 users
//     with 20 addresses each over 30 days, and an activity database of
//     1,000 users, half of them without a contact): the wall time of
//     `ledgerix 6` recording a new contact and of `ledgerix 7` listing
//     them all (median of several runs).
//  2. Orbeline with the real ledgerix on a store of 100,000 contacts, each
//     figure beside its goal: a storm of 20,000 new logons sent at once
//     (every user in the IP log, the median wait); then 50 lone reports a
//     second apart (95th percentile); another address's report during a
//     flood from one address; 5,000 reports waiting at SIGTERM (all
//     recorded, the server's exit time). The reports waiting at the stop
//     are made to wait by a transaction of the bench's that holds the
//     store's write lock until the SIGTERM.
//  3. `ledgerix 6` one run after another: the largest write-ahead log seen
//     and the rate of the last 1,000 runs beside that of the first 1,000.
//  4. `ledgerix record` of 20,000 new contacts on a copy of the store beside
//     the one-transaction bound: the same upserts from one prepared
//     statement in one transaction on another copy.
//
// Usage: ip_log_bench [CONTACTS [STORM [ONE_BY_ONE]]]
//        (defaults 100000, 20000, 100000)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "server/db/activity_database.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr int kAddressesPerUser = 20;
constexpr int64_t kDay = 86400;

double Seconds(SteadyClock::time_point since) {
  return std::chrono::duration<double>(SteadyClock::now() - since).count();
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "ip_log_bench: %s\n", what.c_str());
  std::exit(1);
}

std::string BuiltProgram(const std::string& name) {
  return fs::read_symlink("/proc/self/exe").parent_path() / name;
}

// Starts `argv` with standard output on `output` and standard error on
// /dev/null; returns its process id.
pid_t Start(const std::vector<std::string>& argv, const std::string& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) Fail("cannot start " + argv[0]);
  return pid;
}

// Runs `argv` to its end; its wall time in seconds. A failure ends the bench.
double Run(const std::vector<std::string>& argv, const std::string& output = "/dev/null") {
  auto start = SteadyClock::now();
  int status = 0;
  if (waitpid(Start(argv, output), &status, 0) < 0 || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0)
    Fail(argv[0] + " " + argv[1] + " failed");
  return Seconds(start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// An install folder named by its own registry file (QUORVANE_REGISTRY is
// set to it while it is used).
struct Install {
  std::string root;
  std::string install;
  std::string registry;

  explicit Install(const std::string& extra_values = "") {
    char tmpl[] = "/tmp/ip_log_bench_XXXXXX";
    if (!mkdtemp(tmpl)) Fail("no temporary folder");
    root = tmpl;
    install = root + "/install/";
    fs::create_directories(install + "Logs");
    registry = root + "/registry.reg";
    std::ofstream(registry) << "Windows Registry Editor Version 5.00\n\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n\"apppath\"=\""
                            << install << "\"\n\"apppPath\"=\"" << install << "\"\n"
                            << extra_values
                            << "\n[HKEY_CLASSES_ROOT\\AppID\\{5E7D2C41-8A3B-4F0E-9C6D-"
                               "2B1A0F3E4D51}]\n@=\"Orbeline\"\n";
    Use();
  }
  ~Install() { fs::remove_all(root); }
  Install(const Install&) = delete;
  Install& operator=(const Install&) = delete;

  void Use() const { setenv("QUORVANE_REGISTRY", registry.c_str(), 1); }
};

std::string UserName(int n) {
  char name[16];
  std::snprintf(name, sizeof name, "user%05d", n);
  return name;
}

// `contacts` contacts of contacts / 20 users, seen over the last 29 days;
// ledgerix creates the store, the rows go in in one transaction. Returns
// the number stored (a drawn address may repeat).
int FillContacts(const Install& at, int contacts, int64_t now) {
  at.Use();
  Run({BuiltProgram("ledgerix"), "7"});
  SQLite::Database db(at.install + "contacts.dbs", SQLite::OPEN_READWRITE);
  SQLite::Transaction transaction(db);
  SQLite::Statement insert(db,
                           "INSERT OR IGNORE INTO Contact(user_name, computer_name, ip, seen, seq)"
                           " VALUES(?, ?, ?, ?, ?)");
  std::mt19937 random(7);
  // Within the 30 days kept, so that none is dropped at the first record.
  const int64_t step = 29 * kDay / contacts;
  for (int i = 0; i < contacts; ++i) {
    int user = static_cast<int>(random() % static_cast<unsigned>(contacts / kAddressesPerUser));
    unsigned host = random() % (1u << 18);
    insert.bind(1, UserName(user));
    insert.bind(2, "PC-" + std::to_string(user));
    insert.bind(3, "10." + std::to_string(host >> 16) + "." + std::to_string((host >> 8) & 255) +
                       "." + std::to_string(host & 255));
    insert.bind(4, static_cast<int64_t>(now - 29 * kDay + i * step));
    insert.bind(5, static_cast<int64_t>(i + 1));
    insert.exec();
    insert.reset();
  }
  transaction.commit();
  return db.execAndGet("SELECT COUNT(*) FROM Contact").getInt();
}

// 1,000 users, the even ones also in the contact store.
void FillActivityDatabase(const Install& at) {
  ActivityDatabase db;
  std::string error;
  if (!db.Open(at.install + ActivityDatabase::kFileName, &error)) Fail(error);
  ActivityDatabase::Transaction transaction(db);
  for (int i = 0; i < 1000; ++i) {
    std::string user = i % 2 == 0 ? UserName(i) : "olduser" + std::to_string(i);
    db.InsertUser(user, 1,
                  db.InsertIp("10.9." + std::to_string(i / 256) + "." + std::to_string(i % 256)),
                  db.InsertComputer("PC-" + user, 1));
  }
  transaction.Commit();
}

size_t LineCount(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
}

struct BurstContact {
  std::string user, computer, ip;
};

std::vector<BurstContact> BurstContacts(int count) {
  std::vector<BurstContact> contacts;
  for (int i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    contacts.push_back({"new" + n, "NB-" + n,
                        "10.200." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)});
  }
  return contacts;
}

void ModeTimes(int contacts) {
  Install at;
  const int64_t now = std::time(nullptr);
  int stored = FillContacts(at, contacts, now);
  FillActivityDatabase(at);
  const std::string ledgerix = BuiltProgram("ledgerix");
  std::vector<double> six, seven;
  for (const BurstContact& c : BurstContacts(101))
    six.push_back(Run({ledgerix, "6", c.user, c.computer, c.ip}));
  const std::string list = at.root + "/list";
  for (int i = 0; i < 11; ++i) seven.push_back(Run({ledgerix, "7"}, list));
  std::printf("contacts stored: %d (+101 recorded), activity database: 1000 users\n", stored);
  std::printf("ledgerix 6: median %.1f ms, slowest %.1f ms (101 runs; goal < 20 ms)\n",
              Median(six) * 1e3, *std::max_element(six.begin(), six.end()) * 1e3);
  std::printf(
      "ledgerix 7: median %.0f ms, slowest %.0f ms (11 runs, %zu rows, %.1f MB; goal < "
      "500 ms)\n",
      Median(seven) * 1e3, *std::max_element(seven.begin(), seven.end()) * 1e3, LineCount(list),
      fs::file_size(list) / 1e6);
}

int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
    Fail("no free port");
  close(s);
  return ntohs(addr.sin_port);
}

bool Send(int port, const std::string& text, uint32_t source = INADDR_LOOPBACK) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(source);
  bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool sent = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              write(s, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  shutdown(s, SHUT_WR);
  char drain[64];
  while (sent && read(s, drain, sizeof drain) > 0) {
  }
  close(s);
  return sent;
}

std::string ReportOf(const BurstContact& c) {
  return "<user>" + c.user + "</user><computer>" + c.computer + "</computer><ip>" + c.ip +
         "</ip>\n";
}

// The users of the IP log's rows.
std::unordered_set<std::string> UsersIn(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::unordered_set<std::string> users;
  std::string line;
  while (std::getline(in, line)) users.insert(line.substr(0, line.find(',')));
  return users;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

// Seconds from `sent` until `user` is in the IP log; 60 s at most.
// Whether a row of the IP log names `user`: a search of the text, so that
// the bench's polling costs the server's machine little.
bool HasUser(const std::string& path, const std::string& user) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text.starts_with(user + ",") || text.find("\n" + user + ",") != std::string::npos;
}

double WaitFor(const std::string& ip_log, const std::string& user, SteadyClock::time_point sent) {
  while (!HasUser(ip_log, user)) {
    if (Seconds(sent) > 60) return 60;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Seconds(sent);
}

std::vector<BurstContact> NamedContacts(const std::string& prefix, int count, int net) {
  std::vector<BurstContact> contacts;
  for (int i = 0; i < count; ++i) {
    std::string n = std::to_string(i);
    contacts.push_back({prefix + n, "NB-" + n,
                        "10." + std::to_string(net + i / 62500) + "." +
                            std::to_string(i / 250 % 250) + "." + std::to_string(i % 250 + 1)});
  }
  return contacts;
}

void Served(int contacts, int storm_size) {
  const int port = FreePort();
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", port);
  Install at(std::string("\"DBServerPort\"=dword:") + hex + "\n");
  const int64_t now = std::time(nullptr);
  int stored = FillContacts(at, contacts, now);
  FillActivityDatabase(at);
  const std::string ip_log = at.install + "Logs/logip2.log";
  pid_t server = Start({BuiltProgram("Orbeline")}, at.root + "/server.out");
  auto deadline = SteadyClock::now() + std::chrono::seconds(30);
  while (!Send(port, "")) {
    if (SteadyClock::now() > deadline) Fail("Orbeline does not listen");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // The storm, from 200 agent addresses.
  const std::vector<BurstContact> storm = NamedContacts("storm", storm_size, 200);
  std::vector<double> sent_at(storm.size()), waits;
  auto start = SteadyClock::now();
  for (size_t i = 0; i < storm.size(); ++i) {
    sent_at[i] = Seconds(start);
    if (!Send(port, ReportOf(storm[i]), 0x7F000002 + i % 200)) Fail("a report was not sent");
  }
  const double sending = Seconds(start);
  std::vector<bool> seen(storm.size());
  size_t left = storm.size();
  while (left > 0 && Seconds(start) < 300) {
    std::unordered_set<std::string> users = UsersIn(ip_log);
    const double t = Seconds(start);
    for (size_t i = 0; i < storm.size(); ++i) {
      if (!seen[i] && users.count(storm[i].user)) {
        seen[i] = true;
        --left;
        waits.push_back(t - sent_at[i]);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const double all_in = Seconds(start);
  std::printf(
      "storm of %d new logons on %d contacts (sent in %.1f s): %zu in the IP log after "
      "%.1f s (goal: all within 30 s, %s); median wait %.1f s (goal < 15 s, %s)\n",
      storm_size, stored, sending, storm.size() - left, all_in, Verdict(left == 0 && all_in <= 30),
      waits.empty() ? 0 : Median(waits), Verdict(!waits.empty() && Median(waits) < 15));
  std::fflush(stdout);

  std::vector<double> lone;
  for (const BurstContact& c : NamedContacts("lone", 50, 230)) {
    auto sent = SteadyClock::now();
    Send(port, ReportOf(c), 0x7F000003);
    lone.push_back(WaitFor(ip_log, c.user, sent));
    std::this_thread::sleep_for(std::chrono::seconds(1) - (SteadyClock::now() - sent));
  }
  std::printf(
      "lone report, 50 a second apart: 95th percentile %.2f s, slowest %.2f s "
      "(goal: p95 < 0.5 s, %s)\n",
      Percentile(lone, 0.95), *std::max_element(lone.begin(), lone.end()),
      Verdict(Percentile(lone, 0.95) < 0.5));
  std::fflush(stdout);

  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    const std::vector<BurstContact> flood_contacts = NamedContacts("flood", 40000, 240);
    for (size_t i = 0; flooding && i < flood_contacts.size(); ++i)
      Send(port, ReportOf(flood_contacts[i]), 0x7F000004);
  });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  auto other_sent = SteadyClock::now();
  Send(port, ReportOf({"other", "PC-other", "10.250.0.1"}), 0x7F000005);
  const double other = WaitFor(ip_log, "other", other_sent);
  flooding = false;
  flood.join();
  std::printf(
      "another address's report during a flood from one address: %.2f s "
      "(goal < 1 s, %s)\n",
      other, Verdict(other < 1));
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::seconds(5));  // the flood's last passes

  // 5,000 waiting at the stop: the store's write lock held meanwhile.
  const std::vector<BurstContact> waiting = NamedContacts("stop", 5000, 245);
  {
    SQLite::Database lock(at.install + "contacts.dbs", SQLite::OPEN_READWRITE);
    lock.exec("BEGIN IMMEDIATE");
    for (const BurstContact& c : waiting) Send(port, ReportOf(c), 0x7F000006 + waiting.size() % 7);
    kill(server, SIGTERM);
    lock.exec("ROLLBACK");
  }
  auto stop = SteadyClock::now();
  waitpid(server, nullptr, 0);
  const double gone = Seconds(stop);
  SQLite::Database check(at.install + "contacts.dbs", SQLite::OPEN_READONLY);
  const int recorded =
      check.execAndGet("SELECT COUNT(*) FROM Contact WHERE user_name LIKE 'stop%'").getInt();
  std::printf(
      "5,000 reports waiting at SIGTERM: %d recorded, server gone after %.1f s "
      "(goal: all, within 10 s, %s)\n",
      recorded, gone, Verdict(recorded == 5000 && gone < 10));
}

void OneByOne(int contacts, int runs) {
  Install at;
  const int64_t now = std::time(nullptr);
  FillContacts(at, contacts, now);
  const std::string ledgerix = BuiltProgram("ledgerix");
  const std::string wal = at.install + "contacts.dbs-wal";
  const std::vector<BurstContact> reports = NamedContacts("one", runs, 180);
  const int window = std::min(1000, runs / 4);
  double first = 0, last = 0;
  uintmax_t largest = 0;
  for (int i = 0; i < runs; ++i) {
    const BurstContact& c = reports[static_cast<size_t>(i)];
    const double t = Run({ledgerix, "6", c.user, c.computer, c.ip});
    if (i < window) first += t;
    if (i >= runs - window) last += t;
    std::error_code error;
    largest = std::max(largest, fs::file_size(wal, error));
  }
  const double start_rate = window / first, end_rate = window / last;
  std::printf(
      "%d reports one by one (ledgerix 6): largest write-ahead log %.1f MiB (goal <= 64 "
      "MiB, %s); %.1f runs/s over the first %d, %.1f over the last (%.2f, goal >= 0.80, "
      "%s)\n",
      runs, largest / 1048576.0, Verdict(largest <= (uintmax_t{64} << 20)), start_rate, window,
      end_rate, end_rate / start_rate, Verdict(end_rate >= 0.8 * start_rate));
}

void RecordRate(int contacts, int count) {
  Install at;
  const int64_t now = std::time(nullptr);
  FillContacts(at, contacts, now);
  const std::string copy = at.root + "/copy.dbs";
  fs::copy_file(at.install + "contacts.dbs", copy);
  const std::vector<BurstContact> batch = NamedContacts("rate", count, 190);
  std::string input;
  for (const BurstContact& c : batch) input += c.user + "\t" + c.computer + "\t" + c.ip + "\n";
  const std::string input_path = at.root + "/input";
  std::ofstream(input_path) << input;
  auto start = SteadyClock::now();
  if (std::system(("'" + BuiltProgram("ledgerix") + "' record < '" + input_path + "'").c_str()) !=
      0)
    Fail("ledgerix record failed");
  const double tool = Seconds(start);
  start = SteadyClock::now();
  {
    SQLite::Database db(copy, SQLite::OPEN_READWRITE);
    SQLite::Transaction transaction(db);
    SQLite::Statement upsert(db,
                             "INSERT INTO Contact(user_name, computer_name, ip, seen, seq)"
                             " VALUES(?, ?, ?, ?, ?) ON CONFLICT(user_name, computer_name, ip)"
                             " DO UPDATE SET seen = excluded.seen, seq = excluded.seq");
    int64_t seq = contacts + 1;
    for (const BurstContact& c : batch) {
      upsert.bind(1, c.user);
      upsert.bind(2, c.computer);
      upsert.bind(3, c.ip);
      upsert.bind(4, now);
      upsert.bind(5, seq++);
      upsert.exec();
      upsert.reset();
    }
    transaction.commit();
  }
  const double bound = Seconds(start);
  std::printf(
      "ledgerix record of %d contacts: %.3f s, %.0f contacts/s; one transaction of "
      "upserts: %.3f s, %.0f contacts/s; ratio %.2f (goal >= 0.20, %s)\n",
      count, tool, count / tool, bound, count / bound, bound / tool, Verdict(bound / tool >= 0.2));
}

}  // namespace

int main(int argc, char** argv) {
  const int contacts = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int storm = argc > 2 ? std::atoi(argv[2]) : 20000;
  const int one_by_one = argc > 3 ? std::atoi(argv[3]) : 100000;
  if (contacts < kAddressesPerUser || storm < 1 || storm > 62500 || one_by_one < 4)
    Fail("usage: ip_log_bench [CONTACTS [STORM [ONE_BY_ONE]]]");
  signal(SIGPIPE, SIG_IGN);
  ModeTimes(contacts);
  std::fflush(stdout);
  Served(contacts, storm);
  std::fflush(stdout);
  RecordRate(contacts, storm);
  std::fflush(stdout);
  OneByOne(contacts, one_by_one);
  return 0;
}
