#include "server/db/postgres_connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "platform/parse_digits.h"
#include "platform/socket.h"

namespace {

constexpr int kStopCheckMs = 100;

// The server writes integers in plain decimal, a minus sign first when
// negative.
std::optional<int64_t> ParseInteger(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::optional<uint64_t> magnitude = platform::ParseDigits<uint64_t>(text);
  if (!magnitude || *magnitude > uint64_t{INT64_MAX} + (negative ? 1 : 0)) return std::nullopt;
  return negative ? static_cast<int64_t>(0 - *magnitude) : static_cast<int64_t>(*magnitude);
}

// The library's message on one line: its line breaks and tabs become
// single spaces, so that a tool can say it in the one line it has.
std::string Trimmed(const char* message) {
  std::string text;
  for (const char* p = message ? message : ""; *p; ++p) {
    const bool space = *p == '\n' || *p == '\t' || *p == '\r' || *p == ' ';
    if (space) {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else {
      text += *p;
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text.empty() ? "the database failed" : text;
}

// Length of the well-formed UTF-8 sequence at `p`, 0 when there is none.
size_t Utf8Length(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  size_t length;
  unsigned char low = 0x80, high = 0xbf;  // bounds of the second byte
  if (c >= 0x01 && c < 0x80) return 1;
  if (c >= 0xc2 && c <= 0xdf) {
    length = 2;
  } else if (c >= 0xe0 && c <= 0xef) {
    length = 3;
    if (c == 0xe0) low = 0xa0;
    if (c == 0xed) high = 0x9f;  // no surrogates
  } else if (c >= 0xf0 && c <= 0xf4) {
    length = 4;
    if (c == 0xf0) low = 0x90;
    if (c == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (left < length || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (p[i] < 0x80 || p[i] > 0xbf) return 0;
  return length;
}

}  // namespace

PgResult::~PgResult() { PQclear(result_); }
int PgResult::rows() const { return PQntuples(result_); }
bool PgResult::IsNull(int row, int column) const { return PQgetisnull(result_, row, column); }

std::string_view PgResult::Text(int row, int column) const {
  return {PQgetvalue(result_, row, column), static_cast<size_t>(PQgetlength(result_, row, column))};
}

int64_t PgResult::Int(int row, int column) const { return OptionalInt(row, column).value_or(0); }

std::optional<int64_t> PgResult::OptionalInt(int row, int column) const {
  if (IsNull(row, column)) return std::nullopt;
  auto value = ParseInteger(Text(row, column));
  if (!value) throw std::runtime_error("not a number from the database");
  return *value;
}

int64_t PgResult::Affected() const { return ParseInteger(PQcmdTuples(result_)).value_or(0); }

std::unique_ptr<PgConnection> PgConnection::Connect(const std::string& connection,
                                                    std::string* error) {
  // The string is expanded first; the timeout after it bounds every attempt
  // whatever the string says.
  const std::string timeout = std::to_string(kConnectTimeoutSeconds);
  const char* keywords[] = {"dbname", "connect_timeout", "client_encoding", nullptr};
  const char* values[] = {connection.c_str(), timeout.c_str(), "UTF8", nullptr};
  PGconn* conn = PQconnectdbParams(keywords, values, 1);
  if (!conn || PQstatus(conn) != CONNECTION_OK) {
    if (error) *error = conn ? Trimmed(PQerrorMessage(conn)) : "out of memory";
    PQfinish(conn);
    return nullptr;
  }
  return std::make_unique<PgConnection>(conn);
}

PgConnection::~PgConnection() { PQfinish(conn_); }

void PgConnection::Fail(const std::string& what) { throw std::runtime_error(what); }

PgResult PgConnection::Exec(const std::string& sql,
                            const std::vector<std::optional<std::string>>& params) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& param : params) values.push_back(param ? param->c_str() : nullptr);
  if (!PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                         values.data(), nullptr, nullptr, 0))
    Fail(Trimmed(PQerrorMessage(conn_)));
  return Wait();
}

// Waits for the statement's results in slices, so that a stop can cancel
// it; keeps the last one, or the first failure.
PgResult PgConnection::Wait() {
  bool cancelled = false;
  while (PQisBusy(conn_)) {
    if (!cancelled && stop_ && stop_()) {
      cancelled = true;
      if (PGcancel* cancel = PQgetCancel(conn_)) {
        char reason[256];
        PQcancel(cancel, reason, sizeof reason);
        PQfreeCancel(cancel);
      }
    }
    platform::WaitUntilReadable(PQsocket(conn_), kStopCheckMs);
    if (!PQconsumeInput(conn_)) Fail(Trimmed(PQerrorMessage(conn_)));
  }
  PGresult* kept = nullptr;
  std::string failure;
  while (PGresult* result = PQgetResult(conn_)) {
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COPY_IN) {  // the server waits for CopyIn's rows
      PQclear(kept);
      return PgResult(result);
    }
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && failure.empty())
      failure = Trimmed(PQresultErrorMessage(result));
    PQclear(kept);
    kept = result;
  }
  PgResult last(kept);
  if (!failure.empty()) Fail(cancelled ? "cancelled at stop: " + failure : failure);
  return last;
}

int64_t PgConnection::CopyIn(const std::string& sql, std::string_view data) {
  if (!PQsendQuery(conn_, sql.c_str())) Fail(Trimmed(PQerrorMessage(conn_)));
  {
    PgResult start = Wait();
    (void)start;
  }
  // In slices: the library copies each into its buffer.
  constexpr size_t kSlice = 1 << 20;
  for (size_t at = 0; at < data.size(); at += kSlice) {
    const size_t n = std::min(kSlice, data.size() - at);
    if (PQputCopyData(conn_, data.data() + at, static_cast<int>(n)) != 1)
      Fail(Trimmed(PQerrorMessage(conn_)));
  }
  if (PQputCopyEnd(conn_, nullptr) != 1) Fail(Trimmed(PQerrorMessage(conn_)));
  return Wait().Affected();
}

void PgConnection::AppendCopyField(std::string_view value, std::string* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(value.data());
  for (size_t i = 0; i < value.size();) {
    const size_t length = Utf8Length(p + i, value.size() - i);
    if (length == 0) {
      out->append("\xef\xbf\xbd");
      ++i;
      continue;
    }
    const char c = static_cast<char>(p[i]);
    if (c == '\\') {
      out->append("\\\\");
    } else if (c == '\t') {
      out->append("\\t");
    } else if (c == '\n') {
      out->append("\\n");
    } else if (c == '\r') {
      out->append("\\r");
    } else {
      out->append(value.data() + i, length);
    }
    i += length;
  }
}
