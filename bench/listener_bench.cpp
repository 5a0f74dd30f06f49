// Reports per second through the listener, next to a bare accept, receive,
// close loop on the same machine in the same run; and reports fully
// processed per second by the request worker with an instant tool.
//
//   listener_bench [reports]
#include <sys/stat.h>

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
#include "platform/socket.h"
#include "server/intake/srv_socket.h"
#include "server/processing/log_manager_thread.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 2;
const std::string kReport = "<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\n";

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// `total` reports from kClients threads, each report on its own connection.
void SendReports(uint16_t port, int total) {
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([port, n = total / kClients] {
      for (int i = 0; i < n; ++i) {
        if (!platform::SendToLocalPort(port, kReport)) std::abort();
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

double ListenerPerSecond(int total) {
  platform::FakeClock clock(0);
  SrvSocketOptions options;
  options.port = 0;
  CSrvSocket listener(clock, options);
  listener.Start(0);
  while (listener.listening_port() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto start = Clock::now();
  SendReports(listener.listening_port(), total);
  double rate = listener.queue().size() / Seconds(start);
  listener.Stop();
  return rate;
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
  for (int i = 0; i < total; ++i) queue.Push({kReport, 0});
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
  // Alternate the two so that neither gets the warmer machine.
  double bare = 0, served = 0;
  for (int round = 0; round < 3; ++round) {
    bare += BareLoopPerSecond(reports);
    served += ListenerPerSecond(reports);
  }
  bare /= 3;
  served /= 3;
  std::printf("bare accept/receive/close loop: %.0f reports/s\n", bare);
  std::printf("listener, accepted and queued:  %.0f reports/s\n", served);
  std::printf("ratio listener/bare:            %.2f (goal >= 0.80)\n", served / bare);
  std::printf("fully processed, instant tool:  %.1f reports/s (at most 10 by the 100 ms pass)\n",
              ProcessedPerSecond(30));
  return 0;
}
