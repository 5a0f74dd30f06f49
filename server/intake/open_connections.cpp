#include "server/intake/open_connections.h"

#include <utility>

// Above every IPv4 address: the connections whose peer is not known.
uint64_t COpenConnections::KeyOf(std::optional<uint32_t> peer) {
  return peer ? uint64_t(*peer) : uint64_t(1) << 32;
}

size_t COpenConnections::CountFrom(std::optional<uint32_t> peer) const {
  auto it = per_peer_.find(KeyOf(peer));
  return it == per_peer_.end() ? 0 : it->second;
}

COpenConnections::Connection* COpenConnections::Find(int fd) {
  auto it = connections_.find(fd);
  return it == connections_.end() ? nullptr : it->second.get();
}

COpenConnections::Connection& COpenConnections::Add(std::unique_ptr<Connection> connection) {
  int fd = connection->socket.fd();
  connection->by_arrival_ = by_arrival_.insert(by_arrival_.end(), fd);
  connection->by_silence_ = by_silence_.insert(by_silence_.end(), fd);
  ++per_peer_[KeyOf(connection->peer)];
  connection->kept_ = true;
  Connection& added = *connection;
  connections_[fd] = std::move(connection);
  return added;
}

void COpenConnections::Heard(Connection& connection) {
  by_silence_.splice(by_silence_.end(), by_silence_, connection.by_silence_);
}

std::unique_ptr<COpenConnections::Connection> COpenConnections::Remove(int fd) {
  auto it = connections_.find(fd);
  if (it == connections_.end()) return nullptr;
  std::unique_ptr<Connection> connection = std::move(it->second);
  connections_.erase(it);
  connection->kept_ = false;
  by_arrival_.erase(connection->by_arrival_);
  by_silence_.erase(connection->by_silence_);
  auto count = per_peer_.find(KeyOf(connection->peer));
  if (--count->second == 0) per_peer_.erase(count);
  return connection;
}

std::optional<COpenConnections::TimePoint> COpenConnections::FirstDeadline() const {
  if (by_arrival_.empty()) return std::nullopt;
  return connections_.at(by_arrival_.front())->deadline;
}
