#include "server/db/postgres_activity_backend.h"

#include <stdexcept>

#include "server/db/postgres_connection.h"
#include "server/db/postgres_schema.h"

namespace {

// Gathered COPY text sent once it grows beyond this, so memory stays flat.
constexpr size_t kCopyBufferBytes = 16 << 20;
constexpr int kFetchRows = 50000;

using Params = std::vector<std::optional<std::string>>;

std::optional<std::string> Number(std::optional<int64_t> value) {
  if (!value) return std::nullopt;
  return std::to_string(*value);
}

void AppendNumber(std::optional<int64_t> value, std::string* out) {
  out->append(value ? std::to_string(*value) : std::string("\\N"));
}

// One COPY text row: fields separated by tabs.
class CopyRow {
 public:
  explicit CopyRow(std::string* out) : out_(out) {}
  ~CopyRow() { out_->push_back('\n'); }
  CopyRow(const CopyRow&) = delete;
  CopyRow& operator=(const CopyRow&) = delete;
  CopyRow& Text(std::string_view text) {
    Separate();
    PgConnection::AppendCopyField(text, out_);
    return *this;
  }
  CopyRow& Int(std::optional<int64_t> value) {
    Separate();
    AppendNumber(value, out_);
    return *this;
  }

 private:
  void Separate() {
    if (!first_) out_->push_back('\t');
    first_ = false;
  }
  std::string* out_;
  bool first_ = true;
};

const char kUserColumns[] = "SELECT id, user_name, active, ips, computers FROM \"User\" ";
const char kComputerColumns[] = "SELECT id, computer_name, status FROM \"Computer\" ";
const char kIpColumns[] = "SELECT id, ip FROM \"Ip\" ";

UserRow UserAt(const PgResult& r, int i) {
  return UserRow{r.Int(i, 0), std::string(r.Text(i, 1)), static_cast<int32_t>(r.Int(i, 2)),
                 r.OptionalInt(i, 3), r.OptionalInt(i, 4)};
}
ComputerRow ComputerAt(const PgResult& r, int i) {
  return ComputerRow{r.Int(i, 0), std::string(r.Text(i, 1)), static_cast<int32_t>(r.Int(i, 2))};
}
IpRow IpAt(const PgResult& r, int i) { return IpRow{r.Int(i, 0), std::string(r.Text(i, 1))}; }

template <typename Row, typename Reader>
std::optional<Row> First(const PgResult& r, Reader read) {
  if (r.rows() == 0) return std::nullopt;
  return read(r, 0);
}

// The tables in the order their references need, with their columns.
struct TableCopy {
  const char* table;
  const char* columns;
};
const TableCopy kComputerCopy{"\"Computer\"", "id, computer_name, status"};
const TableCopy kIpCopy{"\"Ip\"", "id, ip"};
const TableCopy kUserCopy{"\"User\"", "id, user_name, active, ips, computers"};
const TableCopy kWebCopy{"\"Web\"", "id, url, size, time, users"};
const TableCopy kFilterCopy{"\"FilterActivity\"", "id, url, time, action, users"};
const TableCopy kLogCopy{"\"ImportedLog\"", "id, name, size, hash, time"};
const TableCopy* const kAllTables[] = {&kComputerCopy, &kIpCopy,     &kUserCopy,
                                       &kWebCopy,      &kFilterCopy, &kLogCopy};

class PostgresActivityBackend final : public ActivityBackend {
 public:
  explicit PostgresActivityBackend(std::unique_ptr<PgConnection> connection)
      : db_(std::move(connection)) {}

  void CancelWhen(std::function<bool()> stop_requested) override {
    db_->CancelWhen(std::move(stop_requested));
  }

  void Begin() override {
    db_->Exec("BEGIN");
    in_transaction_ = true;
  }
  void Commit() override {
    SendActivity();
    in_transaction_ = false;
    db_->Exec("COMMIT");
  }
  void Rollback() noexcept override {
    web_.clear();
    filter_.clear();
    in_transaction_ = false;
    try {
      db_->Exec("ROLLBACK");
    } catch (...) {
      // A lost connection has rolled back already.
    }
  }

  std::optional<UserRow> FindUser(const std::string& user_name) override {
    return First<UserRow>(
        db_->Exec(std::string(kUserColumns) + "WHERE user_name = $1 ORDER BY id LIMIT 1",
                  {user_name}),
        UserAt);
  }
  std::optional<ComputerRow> FindComputer(const std::string& computer_name) override {
    return First<ComputerRow>(
        db_->Exec(std::string(kComputerColumns) + "WHERE computer_name = $1 ORDER BY id LIMIT 1",
                  {computer_name}),
        ComputerAt);
  }
  std::optional<IpRow> FindIp(const std::string& ip) override {
    return First<IpRow>(
        db_->Exec(std::string(kIpColumns) + "WHERE ip = $1 ORDER BY id LIMIT 1", {ip}), IpAt);
  }
  std::optional<ComputerRow> GetComputer(int64_t id) override {
    return First<ComputerRow>(
        db_->Exec(std::string(kComputerColumns) + "WHERE id = $1", {Number(id)}), ComputerAt);
  }
  std::optional<IpRow> GetIp(int64_t id) override {
    return First<IpRow>(db_->Exec(std::string(kIpColumns) + "WHERE id = $1", {Number(id)}), IpAt);
  }

  int64_t InsertComputer(const std::string& computer_name, int32_t status) override {
    return db_
        ->Exec("INSERT INTO \"Computer\"(computer_name, status) VALUES($1, $2) RETURNING id",
               {computer_name, Number(status)})
        .Int(0, 0);
  }
  int64_t InsertIp(const std::string& ip) override {
    return db_->Exec("INSERT INTO \"Ip\"(ip) VALUES($1) RETURNING id", {ip}).Int(0, 0);
  }
  int64_t InsertUser(const std::string& user_name, int32_t active, std::optional<int64_t> ips,
                     std::optional<int64_t> computers) override {
    return db_
        ->Exec(
            "INSERT INTO \"User\"(user_name, active, ips, computers) VALUES($1, $2, $3, $4)"
            " RETURNING id",
            {user_name, Number(active), Number(ips), Number(computers)})
        .Int(0, 0);
  }

  void InsertWeb(std::string_view url, int32_t size, dbDateTime time, int64_t user) override {
    CopyRow(&web_).Text(url).Int(size).Int(time.stamp).Int(user);
    if (!in_transaction_ || web_.size() >= kCopyBufferBytes) SendActivity();
  }
  void InsertFilterActivity(std::string_view url, dbDateTime time, std::string_view action,
                            int64_t user) override {
    CopyRow(&filter_).Text(url).Int(time.stamp).Text(action).Int(user);
    if (!in_transaction_ || filter_.size() >= kCopyBufferBytes) SendActivity();
  }

  void InsertImportedLog(const std::string& name, int64_t size, const std::string& hash,
                         int64_t time) override {
    db_->Exec("INSERT INTO \"ImportedLog\"(name, size, hash, time) VALUES($1, $2, $3, $4)",
              {name, Number(size), hash, Number(time)});
  }
  std::vector<std::string> ImportedLogHashes(const std::string& name, int64_t size) override {
    PgResult r = db_->Exec("SELECT hash FROM \"ImportedLog\" WHERE name = $1 AND size = $2",
                           {name, Number(size)});
    std::vector<std::string> hashes;
    for (int i = 0; i < r.rows(); ++i) hashes.emplace_back(r.Text(i, 0));
    return hashes;
  }

  std::vector<UserRow> AllUsers() override {
    PgResult r = db_->Exec(std::string(kUserColumns) + "ORDER BY id");
    std::vector<UserRow> users;
    for (int i = 0; i < r.rows(); ++i) users.push_back(UserAt(r, i));
    return users;
  }

  std::unordered_map<int64_t, UserLabel> AllUserLabels() override {
    PgResult r = db_->Exec(
        "SELECT u.id, u.user_name, i.ip, c.computer_name FROM \"User\" u"
        " LEFT JOIN \"Ip\" i ON i.id = u.ips LEFT JOIN \"Computer\" c ON c.id = u.computers");
    std::unordered_map<int64_t, UserLabel> labels;
    for (int i = 0; i < r.rows(); ++i)
      labels[r.Int(i, 0)] = {std::string(r.Text(i, 1)), std::string(r.Text(i, 2)),
                             std::string(r.Text(i, 3))};
    return labels;
  }

  // The server sums each user's rows per site, far fewer rows to send.
  // User by user through the index on user then time: a sum over the whole
  // period at once would hash millions of rows by site name and spill to
  // disk, several times slower.
  void ScanWebOfPeriod(int64_t from, int64_t to, const WebVisitor& visit) override {
    const Params period{Number(from), Number(to)};
    const auto row = [&](const PgResult& r, int i) {
      visit(r.OptionalInt(i, 0), r.Text(i, 1), r.Int(i, 2));
    };
    Stream(
        "SELECT NULL::bigint, url, sum(size) FROM \"Web\""
        " WHERE users IS NULL AND time >= $1 AND time < $2 GROUP BY url",
        period, row);
    Stream(
        "SELECT u.id, w.url, w.total FROM \"User\" u CROSS JOIN LATERAL"
        " (SELECT url, sum(size) AS total FROM \"Web\""
        "  WHERE users = u.id AND time >= $1 AND time < $2 GROUP BY url) w ORDER BY u.id",
        period, row);
  }

  void ScanFilterEventsOfPeriod(int64_t from, int64_t to, const FilterVisitor& visit) override {
    Stream(
        "SELECT users, id, url, time, action FROM \"FilterActivity\""
        " WHERE time >= $1 AND time < $2 ORDER BY users NULLS FIRST, time DESC, id DESC",
        {Number(from), Number(to)}, [&](const PgResult& r, int i) {
          visit(r.OptionalInt(i, 0), r.Int(i, 1), r.Text(i, 2), r.Int(i, 3), r.Text(i, 4));
        });
  }

  // Through the BRIN index on time; the slots are summed by the server.
  std::vector<std::pair<int64_t, int64_t>> ActivityPerSlot(Table table, int64_t from, int64_t to,
                                                           int64_t slot,
                                                           const std::string* user_name) override {
    SendActivity();
    std::string sql =
        std::string("SELECT (time - $1) / $3, ") +
        (table == Table::kWeb ? "sum(size) FROM \"Web\"" : "count(*) FROM \"FilterActivity\"") +
        " WHERE time >= $1 AND time < $2";
    Params params{Number(from), Number(to), Number(slot)};
    if (user_name) {
      sql += " AND users IN (SELECT id FROM \"User\" WHERE user_name = $4)";
      params.push_back(*user_name);
    }
    PgResult r = db_->Exec(sql + " GROUP BY 1", params);
    std::vector<std::pair<int64_t, int64_t>> slots;
    for (int i = 0; i < r.rows(); ++i) slots.emplace_back(r.Int(i, 0), r.Int(i, 1));
    return slots;
  }

  std::vector<UserLabel> LabelsOfName(const std::string& user_name) override {
    PgResult r = db_->Exec(
        "SELECT i.ip, c.computer_name FROM \"User\" u LEFT JOIN \"Ip\" i ON i.id = u.ips"
        " LEFT JOIN \"Computer\" c ON c.id = u.computers WHERE u.user_name = $1 ORDER BY u.id",
        {user_name});
    std::vector<UserLabel> labels;
    for (int i = 0; i < r.rows(); ++i)
      labels.push_back({user_name, std::string(r.Text(i, 0)), std::string(r.Text(i, 1))});
    return labels;
  }
  std::vector<NamedCount> SitesOfName(const std::string& user_name, int64_t from,
                                      int64_t to) override {
    return Counts("SELECT url, sum(size) FROM \"Web\" WHERE ", user_name, from, to);
  }
  std::vector<NamedCount> ActionsOfName(const std::string& user_name, int64_t from,
                                        int64_t to) override {
    return Counts("SELECT action, count(*) FROM \"FilterActivity\" WHERE ", user_name, from, to);
  }
  std::vector<FilterActivityRow> LatestEventsOfName(const std::string& user_name, int64_t from,
                                                    int64_t to, size_t latest) override {
    SendActivity();
    PgResult r = db_->Exec(
        std::string("SELECT id, url, time, action, users FROM \"FilterActivity\""
                    " WHERE ") +
            kUsersOfName + " AND time >= $2 AND time < $3 ORDER BY time DESC, id DESC LIMIT $4",
        {user_name, Number(from), Number(to), Number(static_cast<int64_t>(latest))});
    std::vector<FilterActivityRow> events;
    for (int i = 0; i < r.rows(); ++i) {
      events.push_back({r.Int(i, 0), std::string(r.Text(i, 1)), dbDateTime(r.Int(i, 2)),
                        std::string(r.Text(i, 3)), r.OptionalInt(i, 4)});
    }
    return events;
  }

  // Oldest first, each batch a transaction of its own; readers and the
  // import are never held up by it.
  DeletedActivity DeleteActivityBefore(int64_t cutoff, size_t batch_rows,
                                       const std::function<bool()>& go_on) override {
    SendActivity();
    DeletedActivity deleted;
    bool first = true;
    for (auto [table, count] :
         {std::pair{"\"Web\"", &deleted.web}, std::pair{"\"FilterActivity\"", &deleted.filter}}) {
      const std::string sql = std::string("DELETE FROM ") + table +
                              " WHERE id IN (SELECT id FROM " + table +
                              " WHERE time < $1 ORDER BY time LIMIT $2)";
      for (;;) {
        if (!first && go_on && !go_on()) return deleted;
        first = false;
        const int64_t n =
            db_->Exec(sql, {Number(cutoff), Number(static_cast<int64_t>(batch_rows))}).Affected();
        *count += n;
        if (n < static_cast<int64_t>(batch_rows)) break;
      }
    }
    return deleted;
  }

  bool HoldsActivity() override {
    SendActivity();
    std::string sql = "SELECT false";
    for (const TableCopy* table : kAllTables)
      sql += std::string(" OR EXISTS(SELECT 1 FROM ") + table->table + ")";
    return db_->Exec(sql).Text(0, 0) == "t";
  }

  void ReadAllRows(ActivityRowSink& sink) override;
  std::unique_ptr<ActivityRowSink> RowsKeepingIds() override;

  PgConnection& connection() { return *db_; }

  // The ids of a name's User rows, the name being $1 (index on user_name).
  static constexpr char kUsersOfName[] = "users IN (SELECT id FROM \"User\" WHERE user_name = $1)";

  // Name and count pairs of `select` over a user name's rows of a period.
  std::vector<NamedCount> Counts(const std::string& select, const std::string& user_name,
                                 int64_t from, int64_t to) {
    SendActivity();
    PgResult r = db_->Exec(select + kUsersOfName + " AND time >= $2 AND time < $3 GROUP BY 1",
                           {user_name, Number(from), Number(to)});
    std::vector<NamedCount> counts;
    for (int i = 0; i < r.rows(); ++i) counts.push_back({std::string(r.Text(i, 0)), r.Int(i, 1)});
    return counts;
  }

  // Sends the gathered activity rows.
  void SendActivity() {
    Send("COPY \"Web\"(url, size, time, users) FROM STDIN", &web_);
    Send("COPY \"FilterActivity\"(url, time, action, users) FROM STDIN", &filter_);
  }
  void Send(const std::string& copy, std::string* rows) {
    if (rows->empty()) return;
    std::string taken;
    taken.swap(*rows);  // gone whether or not the server takes them
    db_->CopyIn(copy, taken);
  }

  // Runs `sql` through a cursor, handing each row to `on_row`; in a
  // snapshot of its own unless a transaction is open.
  template <typename OnRow>
  void Stream(const std::string& sql, const Params& params, OnRow on_row) {
    SendActivity();
    const bool own = !in_transaction_;
    if (own) db_->Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    try {
      db_->Exec("DECLARE activity_rows NO SCROLL CURSOR FOR " + sql, params);
      for (;;) {
        PgResult batch = db_->Exec("FETCH " + std::to_string(kFetchRows) + " FROM activity_rows");
        if (batch.rows() == 0) break;
        for (int i = 0; i < batch.rows(); ++i) on_row(batch, i);
      }
      db_->Exec("CLOSE activity_rows");
      if (own) db_->Exec("COMMIT");
    } catch (...) {
      if (own) Rollback();
      throw;
    }
  }

 private:
  std::unique_ptr<PgConnection> db_;
  bool in_transaction_ = false;
  std::string web_, filter_;  // COPY text not yet sent
};

void PostgresActivityBackend::ReadAllRows(ActivityRowSink& sink) {
  const auto all = [](const TableCopy& table) {
    return std::string("SELECT ") + table.columns + " FROM " + table.table + " ORDER BY id";
  };
  Stream(all(kComputerCopy), {}, [&](const PgResult& r, int i) { sink.Put(ComputerAt(r, i)); });
  Stream(all(kIpCopy), {}, [&](const PgResult& r, int i) { sink.Put(IpAt(r, i)); });
  Stream(all(kUserCopy), {}, [&](const PgResult& r, int i) { sink.Put(UserAt(r, i)); });
  Stream(all(kWebCopy), {}, [&](const PgResult& r, int i) {
    sink.Put(WebRow{r.Int(i, 0), std::string(r.Text(i, 1)), static_cast<int32_t>(r.Int(i, 2)),
                    dbDateTime(r.Int(i, 3)), r.OptionalInt(i, 4)});
  });
  Stream(all(kFilterCopy), {}, [&](const PgResult& r, int i) {
    sink.Put(FilterActivityRow{r.Int(i, 0), std::string(r.Text(i, 1)), dbDateTime(r.Int(i, 2)),
                               std::string(r.Text(i, 3)), r.OptionalInt(i, 4)});
  });
  Stream(all(kLogCopy), {}, [&](const PgResult& r, int i) {
    sink.Put(ImportedLogRow{r.Int(i, 0), std::string(r.Text(i, 1)), r.Int(i, 2),
                            std::string(r.Text(i, 3)), r.Int(i, 4)});
  });
}

// COPY of each table with its ids; the identity columns then continue
// above the largest.
class PostgresRowsKeepingIds final : public ActivityRowSink {
 public:
  explicit PostgresRowsKeepingIds(PostgresActivityBackend& backend) : backend_(backend) {}

  void Put(const ComputerRow& row) override {
    Row(kComputerCopy).Int(row.id).Text(row.computer_name).Int(row.status);
  }
  void Put(const IpRow& row) override { Row(kIpCopy).Int(row.id).Text(row.ip); }
  void Put(const UserRow& row) override {
    Row(kUserCopy).Int(row.id).Text(row.user_name).Int(row.active).Int(row.ips).Int(row.computers);
  }
  void Put(const WebRow& row) override {
    Row(kWebCopy).Int(row.id).Text(row.url).Int(row.size).Int(row.time.stamp).Int(row.users);
  }
  void Put(const FilterActivityRow& row) override {
    Row(kFilterCopy).Int(row.id).Text(row.url).Int(row.time.stamp).Text(row.action).Int(row.users);
  }
  void Put(const ImportedLogRow& row) override {
    Row(kLogCopy).Int(row.id).Text(row.name).Int(row.size).Text(row.hash).Int(row.time);
  }

  void Finish() override {
    SendRows();
    for (const TableCopy* table : kAllTables) {
      backend_.connection().Exec(std::string("SELECT setval(pg_get_serial_sequence('") +
                                 table->table + "', 'id'), coalesce(max(id), 0) + 1, false) FROM " +
                                 table->table);
    }
  }

 private:
  // A row of `table`; the rows of the table before are sent first.
  CopyRow Row(const TableCopy& table) {
    if (table_ != &table || rows_.size() >= kCopyBufferBytes) SendRows();
    table_ = &table;
    return CopyRow(&rows_);
  }
  void SendRows() {
    if (!table_) return;
    backend_.Send(std::string("COPY ") + table_->table + "(" + table_->columns + ") FROM STDIN",
                  &rows_);
  }

  PostgresActivityBackend& backend_;
  const TableCopy* table_ = nullptr;
  std::string rows_;
};

std::unique_ptr<ActivityRowSink> PostgresActivityBackend::RowsKeepingIds() {
  SendActivity();
  return std::make_unique<PostgresRowsKeepingIds>(*this);
}

}  // namespace

std::unique_ptr<ActivityBackend> OpenPostgresActivityBackend(const std::string& connection,
                                                             std::string* error) {
  std::unique_ptr<PgConnection> db = PgConnection::Connect(connection, error);
  if (!db) return nullptr;
  try {
    MakeSurePostgresTables(*db);
    // The reads are scans that run once: compiling them costs more than
    // it saves (seconds on a month's report).
    db->Exec("SET jit = off");
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return nullptr;
  }
  return std::make_unique<PostgresActivityBackend>(std::move(db));
}

std::unique_ptr<ActivityBackend> OpenPostgresSiteBackend(const std::string& connection,
                                                         const std::string& schema,
                                                         std::string* error) {
  std::unique_ptr<PgConnection> db = PgConnection::Connect(connection, error);
  if (!db) return nullptr;
  try {
    if (!PostgresTablesIn(*db, schema)) {
      if (error) *error = "the schema " + schema + " holds no tables of the activity database";
      return nullptr;
    }
    UsePostgresSchema(*db, schema);
    db->Exec("SET jit = off");
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return nullptr;
  }
  return std::make_unique<PostgresActivityBackend>(std::move(db));
}
