// Reports per second through the listener, next to a bare accept, receive,
// close loop on the same machine in the same run, without and with an
// allow-list of 10 agent networks (the local one last, so every report
// is checked against all ten); and reports fully processed per second by
// the request worker with an instant tool.
//
//   listener_bench [reports]
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/local_client_for_testing.h"
#include "platform/socket.h"
#include "server/intake/agent_networks.h"
#include "server/intake/srv_socket.h"
#include "server/processing/log_manager_thread.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 2;

// Report `i` of client `client`: each one different, since the queue keeps
// one of identical reports waiting.
std::string Report(int client, int i) {
  return "<user>u" + std::to_string(client) + "-" + std::to_string(i) +
         "</user><computer>PC-7</computer><ip>192.168.0.7</ip>\n";
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// `total` reports from kClients threads, each report on its own connection.
void SendReports(uint16_t port, int total) {
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([port, c, n = total / kClients] {
      for (int i = 0; i < n; ++i) {
        if (!platform::SendToLocalPort(port, Report(c, i))) std::abort();
      }
    });
  }
  for (auto& t : clients) t.join();
}

// The same socket work as the listener, with nothing around it.
double BareLoopPerSecond(int total) {
  platform::TcpListener listener;
  if (!listener.Listen(0, CSrvSocket::kBacklog, nullptr)) std::abort();
  std::atomic<int> served{0};
  std::thread server([&] {
    std::vector<char> buffer(CSrvSocket::kReceiveSize);
    for (;;) {
      platform::TcpConnection connection;
      auto result = listener.Accept(&connection);
      if (result == platform::TcpListener::AcceptResult::kWoken) return;
      if (result != platform::TcpListener::AcceptResult::kAccepted) continue;
      size_t n = listener.Receive(connection, buffer.data(), buffer.size(),
                                  std::chrono::milliseconds(5000));
      if (n > 0) served++;
    }
  });
  auto start = Clock::now();
  SendReports(listener.port(), total);
  double rate = served / Seconds(start);
  listener.Wake();
  server.join();
  return rate;
}

// A registry file holding only `values` lines, named by QUORVANE_REGISTRY.
void UseRegistry(const std::string& path, const std::string& values) {
  std::ofstream(path) << "Windows Registry Editor Version 5.00\n\n"
                      << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
                      << values;
  setenv("QUORVANE_REGISTRY", path.c_str(), 1);
}

const std::string kTenNetworks =
    "\"AgentNetworks\"=\"10.0.0.0/8,172.16.0.0/12,192.168.0.0/16,100.64.0.0/10,"
    "198.18.0.0/15,192.0.2.0/24,198.51.100.0/24,203.0.113.0/24,169.254.0.0/16,127.0.0.0/8\"\n";

// The real clock, so that the allow-list is read afresh as in service.
double ListenerPerSecond(int total) {
  SrvSocketOptions options;
  options.port = 0;
  CSrvSocket listener(platform::SystemClock(), options);
  listener.Start(0);
  while (listener.listening_port() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto start = Clock::now();
  SendReports(listener.listening_port(), total);
  double rate = listener.queue().size() / Seconds(start);
  listener.Stop();
  return rate;
}

// Nanoseconds per allow-list check of one address (the last network
// matches), re-reads every few seconds included: the network-free part of
// what the list costs a connection, steadier than the socket figures.
double AllowListCheckNanoseconds() {
  AgentNetworks networks(platform::SystemClock());
  constexpr int kChecks = 2000000;
  int allowed = 0;
  auto start = Clock::now();
  for (int i = 0; i < kChecks; ++i) allowed += networks.Allows(0x7F000001u + uint32_t(i & 0xFF));
  double ns = Seconds(start) * 1e9 / kChecks;
  if (allowed != kChecks) std::abort();
  return ns;
}

// An install folder and a registry file, and "ledgerix" that ends at once.
std::string PrepareInstantTool() {
  char tmpl[] = "/tmp/listener_bench_XXXXXX";
  std::string root = mkdtemp(tmpl);
  platform::MakeDirectories(root + "/install/Logs");
  platform::MakeDirectories(root + "/bin");
  std::ofstream(root + "/registry.reg")
      << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\n"
      << "\"apppath\"=\"" << root << "/install/\"\n";
  if (symlink("/bin/true", (root + "/bin/ledgerix").c_str()) != 0) std::abort();
  setenv("QUORVANE_REGISTRY", (root + "/registry.reg").c_str(), 1);
  setenv("PATH", (root + "/bin:" + getenv("PATH")).c_str(), 1);
  return root;
}

double ProcessedPerSecond(int total) {
  std::string root = PrepareInstantTool();
  CRequestQueue queue;
  for (int i = 0; i < total; ++i) queue.Push({Report(0, i), 0});
  CLogManagerThread worker(queue);
  auto start = Clock::now();
  worker.Start(0);
  while (!queue.IsEmpty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // The last report is taken; its two tool runs and rewrite follow.
  worker.Stop();
  double rate = total / Seconds(start);
  std::filesystem::remove_all(root);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  int reports = argc > 1 ? std::atoi(argv[1]) : 4000;
  reports -= reports % kClients;
  std::string registry = std::filesystem::temp_directory_path() /
                         ("listener_bench_" + std::to_string(getpid()) + ".reg");
  // Alternate the three so that none gets the warmer machine.
  double bare = 0, served = 0, allow_listed = 0;
  for (int round = 0; round < 3; ++round) {
    bare += BareLoopPerSecond(reports);
    UseRegistry(registry, "");
    served += ListenerPerSecond(reports);
    UseRegistry(registry, kTenNetworks);
    allow_listed += ListenerPerSecond(reports);
  }
  double check_ns = AllowListCheckNanoseconds();
  std::filesystem::remove(registry);
  bare /= 3;
  served /= 3;
  allow_listed /= 3;
  std::printf("bare accept/receive/close loop: %.0f reports/s\n", bare);
  std::printf("listener, accepted and queued:  %.0f reports/s\n", served);
  std::printf("ratio listener/bare:            %.2f (goal >= 0.80)\n", served / bare);
  std::printf("listener, 10 agent networks:    %.0f reports/s (%.2f of the listener without)\n",
              allow_listed, allow_listed / served);
  std::printf("allow-list check, 10 networks:  %.0f ns per connection\n", check_ns);
  std::printf("fully processed, instant tool:  %.1f reports/s (at most 10 by the 100 ms pass)\n",
              ProcessedPerSecond(30));
  return 0;
}
