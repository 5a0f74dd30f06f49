// PgConnection: one libpq connection to a PostgreSQL server, with the few
// calls the PostgreSQL store needs: statements with text parameters, COPY
// FROM STDIN of a buffer, and waits that a stop can cancel. PgResult owns
// one result. Helpers of postgres_activity_backend only.
//
// Errors throw std::runtime_error with the server's message. One thread at
// a time.
#ifndef SERVER_DB_POSTGRES_CONNECTION_H_
#define SERVER_DB_POSTGRES_CONNECTION_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

class PgResult {
 public:
  explicit PgResult(pg_result* result) : result_(result) {}
  PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;
  PgResult& operator=(PgResult&&) = delete;
  ~PgResult();

  int rows() const;
  bool IsNull(int row, int column) const;
  std::string_view Text(int row, int column) const;
  int64_t Int(int row, int column) const;  // 0 for a null
  std::optional<int64_t> OptionalInt(int row, int column) const;
  // The count of a DELETE, INSERT or COPY.
  int64_t Affected() const;

 private:
  pg_result* result_;
};

class PgConnection {
 public:
  // Seconds a connection attempt may take at most, so that a server that
  // does not answer never holds up a stop.
  static constexpr int kConnectTimeoutSeconds = 5;

  // Connects; nullptr with `error` set (the library's reason) when it
  // cannot.
  static std::unique_ptr<PgConnection> Connect(const std::string& connection, std::string* error);

  explicit PgConnection(pg_conn* conn) : conn_(conn) {}
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;
  ~PgConnection();

  // Asked every fraction of a second while a statement runs; true sends
  // the server a cancel.
  void CancelWhen(std::function<bool()> stop_requested) { stop_ = std::move(stop_requested); }

  // Runs `sql` with $1... bound to `params` (nullopt: NULL), waiting for
  // its result; throws when it fails.
  PgResult Exec(const std::string& sql, const std::vector<std::optional<std::string>>& params = {});
  // COPY ... FROM STDIN with `data` in COPY's text format.
  int64_t CopyIn(const std::string& sql, std::string_view data);

  // The field as COPY's text format writes it: backslash, tab, newline and
  // carriage return escaped, and anything that is not UTF-8 (or a NUL)
  // replaced by U+FFFD, which the server would refuse.
  static void AppendCopyField(std::string_view value, std::string* out);

 private:
  PgResult Wait();
  [[noreturn]] void Fail(const std::string& what);

  pg_conn* conn_;
  std::function<bool()> stop_;
};

#endif  // SERVER_DB_POSTGRES_CONNECTION_H_
