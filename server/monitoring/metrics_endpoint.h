// MetricsEndpoint: the Prometheus text of the process metrics at /metrics
// on one address, served by libmicrohttpd on a thread of its own.
//
// Read-only: GET and HEAD of /metrics are answered, any other path with
// 404 and any other method with 405. A request is bounded in size (a huge
// one is refused by the library with 431 or 413), in time (a silent or slow
// peer is closed after kTimeoutSeconds) and in number (kMaxConnections in
// all, kMaxPerAddress from one address), so a bad client costs the rest of
// the server nothing but that thread's time. Start and Stop on one thread.
#ifndef SERVER_MONITORING_METRICS_ENDPOINT_H_
#define SERVER_MONITORING_METRICS_ENDPOINT_H_

#include <cstdint>
#include <string>

#include "common/ipv4_address.h"

struct MHD_Daemon;

class MetricsEndpoint {
 public:
  static constexpr unsigned kTimeoutSeconds = 5;
  static constexpr unsigned kMaxConnections = 16;
  static constexpr unsigned kMaxPerAddress = 4;
  static constexpr size_t kRequestMemory = 16 * 1024;

  MetricsEndpoint() = default;
  ~MetricsEndpoint() { Stop(); }
  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

  // False, with `error` set, when the address cannot be listened on.
  bool Start(const Ipv4Endpoint& endpoint, std::string* error);
  void Stop();
  bool running() const { return daemon_ != nullptr; }

 private:
  MHD_Daemon* daemon_ = nullptr;
};

#endif  // SERVER_MONITORING_METRICS_ENDPOINT_H_
