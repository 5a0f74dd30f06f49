// COpenConnections: the agents' connections the listener serves at once,
// each with what it has sent so far. They are kept in two orders: by
// arrival, whose first is the first to run out of time (every connection
// has the same limit), and by silence, whose first has gone longest without
// sending a byte (the one closed to make room when too many are open).
// Connections are counted per peer address for the per-peer cap. Listener's
// thread only.
#ifndef SERVER_INTAKE_OPEN_CONNECTIONS_H_
#define SERVER_INTAKE_OPEN_CONNECTIONS_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/socket.h"

class COpenConnections {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  struct Connection {
    platform::TcpConnection socket;
    std::optional<uint32_t> peer;
    TimePoint deadline;                  // closed unfinished after this
    std::string received;                // the report so far
    bool kept() const { return kept_; }  // added, and not removed

   private:
    friend class COpenConnections;
    bool kept_ = false;
    std::list<int>::iterator by_arrival_, by_silence_;
  };

  COpenConnections() = default;
  COpenConnections(const COpenConnections&) = delete;
  COpenConnections& operator=(const COpenConnections&) = delete;

  size_t size() const { return connections_.size(); }
  size_t CountFrom(std::optional<uint32_t> peer) const;
  // The connection with that descriptor; null when none is open.
  Connection* Find(int fd);
  // Takes over an open connection, last in both orders.
  Connection& Add(std::unique_ptr<Connection> connection);
  // `connection` has sent something: it moves to the end of the silence.
  void Heard(Connection& connection);
  // Hands the connection back for closing; it is no longer kept.
  std::unique_ptr<Connection> Remove(int fd);

  // Descriptors of the first by arrival and by silence; -1 when empty.
  int FirstToExpire() const { return by_arrival_.empty() ? -1 : by_arrival_.front(); }
  std::optional<TimePoint> FirstDeadline() const;
  int LongestSilent() const { return by_silence_.empty() ? -1 : by_silence_.front(); }

 private:
  static uint64_t KeyOf(std::optional<uint32_t> peer);

  std::unordered_map<int, std::unique_ptr<Connection>> connections_;
  std::list<int> by_arrival_;
  std::list<int> by_silence_;
  std::unordered_map<uint64_t, size_t> per_peer_;
};

#endif  // SERVER_INTAKE_OPEN_CONNECTIONS_H_
