// The IP log at network scale, with the Orbeline and ledgerix of this build:
//
//  1. ledgerix's contact modes on a store of 100,000 contacts (5,000 users
//     with 20 addresses each over 30 days, and an activity database of
//     1,000 users, half of them without a contact): the wall time of
//     `ledgerix 6` recording a new contact and of `ledgerix 7` listing
//     them all (median of several runs).
//  2. A burst of 2,000 new agents' reports sent over TCP to a running
//     Orbeline whose store holds 20,000 contacts: the time until every one
//     is in the IP log. Beside it, in the same run, `ledgerix 6` back to
//     back for the same 2,000 contacts on a copy of that store: the tool's
//     own cost, the limit of any worker that runs it once per report.
//
// Usage: ip_log_bench [MODE_CONTACTS [BURST_CONTACTS [BURST]]]
//        (defaults 100000, 20000, 2000)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
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

bool Send(int port, const std::string& text) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
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

// Seconds until `burst` reports sent to a running Orbeline are all in its
// IP log.
double BurstSeconds(const Install& at, int port, size_t rows_expected,
                    const std::vector<BurstContact>& burst) {
  at.Use();
  pid_t server = Start({BuiltProgram("Orbeline")}, at.root + "/server.out");
  auto deadline = SteadyClock::now() + std::chrono::seconds(30);
  while (!Send(port, "")) {
    if (SteadyClock::now() > deadline) Fail("Orbeline does not listen");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  auto start = SteadyClock::now();
  for (const BurstContact& c : burst) {
    if (!Send(port, "<user>" + c.user + "</user><computer>" + c.computer + "</computer><ip>" +
                        c.ip + "</ip>\n"))
      Fail("a report could not be sent");
  }
  const std::string ip_log = at.install + "Logs/logip2.log";
  while (LineCount(ip_log) < rows_expected) {
    if (Seconds(start) > 900) Fail("the burst did not reach the IP log in 15 minutes");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  double seconds = Seconds(start);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  return seconds;
}

void Burst(int contacts, int count) {
  const int port = FreePort();
  Install served("\"DBServerPort\"=dword:" + [port] {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", port);
    return std::string(hex);
  }() + "\n");
  Install alone;
  const int64_t now = std::time(nullptr);
  int stored = FillContacts(served, contacts, now);
  fs::copy_file(served.install + "contacts.dbs", alone.install + "contacts.dbs");
  const std::vector<BurstContact> burst = BurstContacts(count);

  alone.Use();
  const std::string ledgerix = BuiltProgram("ledgerix");
  auto start = SteadyClock::now();
  for (const BurstContact& c : burst) Run({ledgerix, "6", c.user, c.computer, c.ip});
  double tool_rate = count / Seconds(start);

  double seconds = BurstSeconds(served, port, static_cast<size_t>(stored + count), burst);
  double worker_rate = count / seconds;
  std::printf(
      "burst of %d new reports on %d contacts, through Orbeline: %.1f s, %.1f reports/s "
      "(goal: within 60 s)\n",
      count, stored, seconds, worker_rate);
  std::printf("ledgerix 6 back to back on the same store:          %.1f runs/s\n", tool_rate);
  std::printf("worker rate / tool rate:                            %.2f (goal >= 0.70)\n",
              worker_rate / tool_rate);
}

}  // namespace

int main(int argc, char** argv) {
  const int mode_contacts = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int burst_contacts = argc > 2 ? std::atoi(argv[2]) : 20000;
  const int burst = argc > 3 ? std::atoi(argv[3]) : 2000;
  if (mode_contacts < kAddressesPerUser || burst_contacts < kAddressesPerUser || burst < 1 ||
      burst > 62500)
    Fail("usage: ip_log_bench [MODE_CONTACTS [BURST_CONTACTS [BURST]]]");
  signal(SIGPIPE, SIG_IGN);
  ModeTimes(mode_contacts);
  std::fflush(stdout);
  Burst(burst_contacts, burst);
  return 0;
}
