#include "tools/ledgerix/ledgerix_run.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "common/install_path.h"
#include "common/reg_value.h"
#include "platform/files.h"
#include "server/db/activity_database.h"
#include "server/db/copy_activity_database.h"
#include "server/db/read_activity_of_period.h"
#include "server/db/read_activity_per_slot.h"
#include "server/db/read_filter_events_of_period.h"
#include "server/db/read_user_activity.h"
#include "server/db/read_user_addresses.h"
#include "tools/ledgerix/apply_report_names.h"
#include "tools/ledgerix/command_line.h"
#include "tools/ledgerix/contact_history.h"
#include "tools/ledgerix/contact_store.h"
#include "tools/ledgerix/html_parts.h"
#include "tools/ledgerix/report_csv.h"
#include "tools/ledgerix/report_html.h"
#include "tools/ledgerix/report_names.h"
#include "tools/ledgerix/report_period.h"
#include "tools/ledgerix/sites_report_html.h"
#include "tools/ledgerix/user_report_html.h"

namespace {

const char* PeriodAdjective(ReportPeriod period) {
  switch (period) {
    case ReportPeriod::kPreviousDay:
      return "Daily";
    case ReportPeriod::kPreviousWeek:
      return "Weekly";
    case ReportPeriod::kPreviousMonth:
      return "Monthly";
  }
  return "";
}

bool OpenContacts(const LedgerixSettings& settings, CContactStore* store, std::string* err) {
  std::string path = settings.install_path + CContactStore::kFileName;
  std::string error;
  if (store->Open(path, &error)) return true;
  *err += "ledgerix: cannot open the contact list " + path + ": " + error + "\n";
  return false;
}

// Read only: a report never creates or changes the activity database.
// Before its first nightly import an install has none, and its reports are
// those of an empty period: read from an empty database in memory.
bool OpenForReading(const ActivityLocation& location, ActivityDatabase* db, std::string* error) {
  if (!location.is_postgres() && platform::FileIsMissing(location.file))
    return db->Open(":memory:", error);
  return db->OpenReadOnly(location, error);
}

// Opens the configured activity database for a report; false after saying
// why in one line.
bool OpenActivity(const LedgerixSettings& settings, ActivityDatabase* db, std::string* err) {
  const ActivityLocation location =
      ActivityLocationOf(settings.install_path, settings.activity_database);
  std::string error;
  if (OpenForReading(location, db, &error)) return true;
  *err +=
      "ledgerix: cannot open the activity database " + location.Describe() + ": " + error + "\n";
  return false;
}

int RecordContact(const LedgerixCommand& command, const LedgerixSettings& settings,
                  std::string* err) {
  const std::pair<const char*, const std::string*> values[] = {
      {"user name", &command.user}, {"computer name", &command.computer}, {"address", &command.ip}};
  for (const auto& [what, value] : values) {
    std::string problem = ContactValueProblem(*value);
    if (!problem.empty()) {
      *err += std::string("ledgerix: contact not recorded: the ") + what + " " + problem + "\n";
      return 1;
    }
  }
  CContactStore store;
  if (!OpenContacts(settings, &store, err)) return 1;
  store.Record(command.user, command.computer, command.ip, settings.now,
               settings.contact_keep_seconds, settings.contact_window_seconds);
  return 0;
}

// The values of one `record` line, or why it is refused.
std::optional<ContactValues> ParseContactLine(const std::string& line, std::string* problem) {
  ContactValues c;
  std::string* const fields[] = {&c.user, &c.computer, &c.ip};
  size_t start = 0;
  for (size_t i = 0; i < 3; ++i) {
    size_t tab = line.find('\t', start);
    if ((i < 2) == (tab == std::string::npos)) {
      *problem = "not three values separated by tabs";
      return std::nullopt;
    }
    *fields[i] = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
    start = tab + 1;
  }
  const std::pair<const char*, const std::string*> values[] = {
      {"user name", &c.user}, {"computer name", &c.computer}, {"address", &c.ip}};
  for (const auto& [what, value] : values) {
    std::string why = ContactValueProblem(*value);
    if (!why.empty()) {
      *problem = std::string("the ") + what + " " + why;
      return std::nullopt;
    }
  }
  return c;
}

// At most kMaxRecordInputBytes of `input`; false when there is more.
bool ReadInput(std::istream* input, std::string* text) {
  if (!input) return true;
  char buffer[65536];
  while (input->read(buffer, sizeof buffer) || input->gcount() > 0) {
    text->append(buffer, static_cast<size_t>(input->gcount()));
    if (text->size() > kMaxRecordInputBytes) return false;
  }
  return true;
}

// `record`: every line a contact, all recorded in one transaction, each as
// `6` would record it; a line `6` would refuse is named and left out.
int RecordContacts(const LedgerixSettings& settings, std::istream* input, std::string* err) {
  std::string text;
  if (!ReadInput(input, &text)) {
    *err += "ledgerix: no contact recorded: the input is longer than 64 MiB\n";
    return 1;
  }
  std::vector<ContactValues> contacts;
  bool refused = false;
  size_t line_number = 0;
  for (size_t start = 0; start < text.size();) {
    ++line_number;
    const size_t end = text.find('\n', start);
    std::string problem;
    if (end == std::string::npos) {
      // Cut short (its writer ended): its last value may be cut too.
      problem = "it has no line feed";
    } else if (auto c = ParseContactLine(text.substr(start, end - start), &problem)) {
      contacts.push_back(std::move(*c));
    }
    if (!problem.empty()) {
      *err += "ledgerix: contact on line " + std::to_string(line_number) +
              " not recorded: " + problem + "\n";
      refused = true;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (!contacts.empty()) {
    CContactStore store;
    if (!OpenContacts(settings, &store, err)) return 1;
    store.RecordAll(contacts, settings.now, settings.contact_keep_seconds,
                    settings.contact_window_seconds);
  }
  return refused ? 3 : 0;
}

// False, leaving the row out, when a value would break the list's rows (a
// contact an older tool recorded, a user stored before the rule).
bool AppendListRow(const std::string& user, const std::string& ip, const std::string& computer,
                   bool active, std::string* out) {
  if (BreaksContactList(user) || BreaksContactList(ip) || BreaksContactList(computer)) return false;
  out->append(user).append(",").append(ip).append(",").append(computer);
  out->append(active ? ",1\r\n" : ",0\r\n");
  return true;
}

// The contacts, then each user of the activity database that has no
// contact, inactive, with the address and computer it was stored with: the
// one list behind the IP log, whether a report or the night refreshes it.
// A row whose values would break the list is left out.
int ListContacts(const LedgerixSettings& settings, std::string* out, std::string* err) {
  CContactStore store;
  if (!OpenContacts(settings, &store, err)) return 1;
  ActivityDatabase db;
  if (!OpenActivity(settings, &db, err)) return 1;
  const std::vector<Contact> contacts = store.List(settings.now, settings.contact_window_seconds);
  out->reserve(contacts.size() * 48);
  for (const Contact& c : contacts) AppendListRow(c.user, c.ip, c.computer, c.active, out);
  // The contacts come sorted by user (byte order), so a user is looked up
  // there rather than hashed: the list runs at every pass of the server.
  auto has_contact = [&contacts](const std::string& user) {
    auto at = std::lower_bound(contacts.begin(), contacts.end(), user,
                               [](const Contact& c, const std::string& u) { return c.user < u; });
    return at != contacts.end() && at->user == user;
  };
  std::unordered_set<std::string> listed;
  for (const UserAddress& u : ReadUserAddresses(db)) {
    if (has_contact(u.user) || listed.contains(u.user)) continue;
    if (AppendListRow(u.user, u.ip, u.computer, false, out)) listed.insert(u.user);
  }
  return 0;
}

// The period's quarter hours, for the charts.
std::vector<int64_t> Slots(ActivityDatabase& db, ActivityKind kind, const PeriodBounds& bounds,
                           const std::string* user_name = nullptr) {
  return ReadActivityPerSlot(db, kind, bounds.begin, bounds.end, kQuarterHourSlot, user_name);
}

// How the reports show users; false after saying why in one line.
bool NamesOfReports(const LedgerixSettings& settings, ReportNames* names, std::string* err) {
  if (!settings.pseudonyms) return true;
  std::string error;
  std::optional<ReportNames> withheld = ReportNames::WithPseudonyms(settings.install_path, &error);
  if (!withheld) {
    *err +=
        "ledgerix: no report while names are to be withheld (ReportPseudonyms) and the key "
        "cannot be used: " +
        error + "\n";
    return false;
  }
  *names = *withheld;
  return true;
}

// The first `n` users of a period's figures as rows of a count table.
template <typename User, typename CountOfUser>
std::vector<NamedCount> TopUsers(const std::vector<User>& users, CountOfUser count) {
  std::vector<NamedCount> rows;
  for (size_t i = 0; i < std::min(kTopInOverview, users.size()); ++i)
    rows.push_back({UserText(users[i].user), count(users[i])});
  return rows;
}

// One site's figures for the report over several sites.
SiteFigures FiguresOfSite(ActivityDatabase& db, const std::string& site, bool activity,
                          const PeriodBounds& bounds, const ReportNames& names) {
  if (activity) {
    ActivityOfPeriod read = ReadActivityOfPeriod(db, bounds.begin, bounds.end, kTopInOverview);
    ApplyReportNames(names, &read);
    return {site,
            {{"Requests", read.requests},
             {"Users", static_cast<int64_t>(read.users.size())},
             {"Sites", read.site_count}},
            TopUsers(read.users, [](const UserActivityOfPeriod& u) { return u.requests; })};
  }
  FilterEventsOfPeriod read = ReadFilterEventsOfPeriod(db, bounds.begin, bounds.end, 0, 0);
  ApplyReportNames(names, &read);
  return {site,
          {{"Filter events", read.events},
           {"Blocked", read.blocked},
           {"Users", static_cast<int64_t>(read.users.size())}},
          TopUsers(read.users, [](const UserFilterEventsOfPeriod& u) { return u.events; })};
}

// The report over the schemas of several sites, one after the other.
int SitesReportOf(const LedgerixCommand& command, const LedgerixSettings& settings,
                  const ReportNames& names, std::string* out, std::string* err) {
  const bool activity = command.mode == LedgerixMode::kActivityReport;
  const ActivityLocation location =
      ActivityLocationOf(settings.install_path, settings.activity_database);
  SitesReport report{std::string(activity ? "Activity" : "Filter") + " report of " +
                         std::to_string(command.sites.size()) +
                         (command.sites.size() == 1 ? " site" : " sites"),
                     DescribeDays(command.days),
                     "Top " + std::to_string(kTopInOverview) + " users",
                     activity ? "Requests" : "Events",
                     {},
                     {true, true, !activity}};
  for (const std::string& site : command.sites) {
    ActivityDatabase db;
    std::string error;
    if (!db.OpenSite(location, site, &error)) {
      *err += "ledgerix: cannot report on the site " + site + ": " + error + "\n";
      return 1;
    }
    report.sites.push_back(FiguresOfSite(db, site, activity, command.days, names));
  }
  *out = RenderSitesReport(report);
  return 0;
}

int Report(const LedgerixCommand& command, const LedgerixSettings& settings, std::string* out,
           std::string* err) {
  ReportNames names;
  if (!NamesOfReports(settings, &names, err)) return 1;
  if (!command.sites.empty()) return SitesReportOf(command, settings, names, out, err);
  ActivityDatabase db;
  if (!OpenActivity(settings, &db, err)) return 1;
  const bool activity = command.mode == LedgerixMode::kActivityReport;
  const PeriodBounds bounds =
      command.any_period ? command.days : BoundsOfPeriod(command.period, settings.now);
  if (command.csv) {
    *out = activity ? ActivityCsv(db, bounds, names) : FilterCsv(db, bounds, names);
    return 0;
  }
  const std::string period =
      command.any_period ? DescribeDays(bounds) : DescribePeriod(command.period, bounds);
  const std::string adjective = command.any_period ? "" : PeriodAdjective(command.period);
  const std::string title = adjective.empty()
                                ? (activity ? "Activity report" : "Filter report")
                                : adjective + (activity ? " activity report" : " filter report");
  if (activity) {
    ActivityReport report{title, period,
                          ReadActivityOfPeriod(db, bounds.begin, bounds.end,
                                               std::max(kTopInOverview, kSitesPerUser))};
    ApplyReportNames(names, &report.activity);
    if (DaysIn(bounds) > 1)
      report.per_day = PerDay(Slots(db, ActivityKind::kRequests, bounds), kQuarterHourSlot, bounds);
    *out = RenderActivityReport(report);
  } else {
    FilterReport report{
        title, period,
        ReadFilterEventsOfPeriod(db, bounds.begin, bounds.end, kTopInOverview, kEventsPerUser)};
    ApplyReportNames(names, &report.events);
    if (DaysIn(bounds) > 1) {
      const std::vector<int64_t> slots = Slots(db, ActivityKind::kFilterEvents, bounds);
      report.per_day = PerDay(slots, kQuarterHourSlot, bounds);
      report.per_hour = PerHourOfDay(slots, kQuarterHourSlot, bounds);
    }
    *out = RenderFilterReport(report);
  }
  return 0;
}

// The pseudonym of a name, whether or not the reports use them now.
int PseudonymOf(const LedgerixCommand& command, const LedgerixSettings& settings, std::string* out,
                std::string* err) {
  std::string error;
  std::optional<ReportNames> names = ReportNames::WithPseudonyms(settings.install_path, &error);
  if (!names) {
    *err += "ledgerix: cannot use the key of the pseudonyms: " + error + "\n";
    return 1;
  }
  *out = names->Pseudonym(command.user) + "\n";
  return 0;
}

// The names the activity database knows whose pseudonym is the one given.
int Unmask(const LedgerixCommand& command, const LedgerixSettings& settings, std::string* out,
           std::string* err) {
  std::string error;
  std::optional<ReportNames> names = ReportNames::WithPseudonyms(settings.install_path, &error);
  if (!names) {
    *err += "ledgerix: cannot use the key of the pseudonyms: " + error + "\n";
    return 1;
  }
  ActivityDatabase db;
  if (!OpenActivity(settings, &db, err)) return 1;
  std::unordered_set<std::string> tried;
  for (const UserAddress& user : ReadUserAddresses(db)) {
    if (tried.insert(user.user).second && names->Pseudonym(user.user) == command.pseudonym)
      *out += user.user + "\n";
  }
  if (out->empty()) {
    *err +=
        "ledgerix: no user of the activity database has the pseudonym " + command.pseudonym + "\n";
    return 1;
  }
  return 0;
}

// Copies a SQLite activity database into the configured PostgreSQL one.
int Migrate(const LedgerixCommand& command, const LedgerixSettings& settings, std::string* out,
            std::string* err) {
  const ActivityLocation target =
      ActivityLocationOf(settings.install_path, settings.activity_database);
  if (!target.is_postgres()) {
    *err +=
        "ledgerix: migrate copies into the PostgreSQL database that ActivityDatabase names, "
        "and ActivityDatabase is empty\n";
    return 1;
  }
  const std::string file =
      command.file.empty() ? settings.install_path + ActivityDatabase::kFileName : command.file;
  ActivityDatabase from, to;
  std::string error;
  if (!from.OpenReadOnly(file, &error)) {
    *err += "ledgerix: cannot read the activity database " + error + "\n";
    return 1;
  }
  if (!to.Open(target, &error)) {
    *err +=
        "ledgerix: cannot open the activity database " + target.Describe() + ": " + error + "\n";
    return 1;
  }
  CopiedActivity copied;
  if (!CopyActivityDatabase(from, to, &copied, &error)) {
    *err += "ledgerix: nothing copied into " + target.Describe() + ": " + error + "\n";
    return 1;
  }
  *out += "copied " + std::to_string(copied.users) + " users, " + std::to_string(copied.web) +
          " Web rows, " + std::to_string(copied.filter) + " FilterActivity rows and " +
          std::to_string(copied.imported_logs) + " records of imported logs from " + file +
          " into " + target.Describe() + "\n";
  return 0;
}

int UserReportOf(const LedgerixCommand& command, const LedgerixSettings& settings, std::string* out,
                 std::string* err) {
  ReportNames names;
  if (!NamesOfReports(settings, &names, err)) return 1;
  ActivityDatabase db;
  if (!OpenActivity(settings, &db, err)) return 1;
  UserReport report{
      command.user, DescribeDays(command.days),
      ReadUserActivity(db, command.user, command.days.begin, command.days.end, kUserEventsRead)};
  if (report.activity.labels.empty()) {
    // Most likely a mistyped name: an empty report would hide that.
    *err += "ledgerix: the activity database knows no user named " + command.user + "\n";
    return 1;
  }
  if (command.csv) {
    *out = UserCsv(command.user, report.activity, names);
    return 0;
  }
  report.name = names.ShowName(report.name);
  ApplyReportNames(names, &report.activity);
  if (DaysIn(command.days) > 1) {
    report.requests_per_day =
        PerDay(Slots(db, ActivityKind::kRequests, command.days, &command.user), kQuarterHourSlot,
               command.days);
    const std::vector<int64_t> events =
        Slots(db, ActivityKind::kFilterEvents, command.days, &command.user);
    report.events_per_day = PerDay(events, kQuarterHourSlot, command.days);
    report.events_per_hour = PerHourOfDay(events, kQuarterHourSlot, command.days);
  }
  report.stays_withheld = names.withheld();
  if (!names.withheld() &&
      !platform::FileIsMissing(settings.install_path + CContactStore::kFileName)) {
    CContactStore store;
    if (!OpenContacts(settings, &store, err)) return 1;
    report.stays = store.IntervalsOfUser(command.user, command.days.begin, command.days.end);
  }
  *out = RenderUserReport(report);
  return 0;
}

int Who(const LedgerixCommand& command, const LedgerixSettings& settings, std::string* out,
        std::string* err) {
  CContactStore store;
  if (!OpenContacts(settings, &store, err)) return 1;
  const int64_t when = command.when.value_or(settings.now);
  std::vector<ContactInterval> intervals =
      store.IntervalsAt(command.ip, when, settings.contact_window_seconds);
  if (intervals.empty()) {
    *err +=
        "ledgerix: no contact was seen at " + command.ip + " at " + FormatLocalTime(when) + "\n";
    return 1;
  }
  for (const ContactInterval& i : intervals) {
    *out += i.user + "," + i.computer + "," + i.ip + "," + FormatLocalTime(i.first_seen) + "," +
            FormatLocalTime(i.last_seen) + "\n";
  }
  return 0;
}

// A number setting; missing or 0 gives its default.
uint32_t ReadPositive(const Setting& setting) {
  uint32_t value = CRegNumberValue(setting).Read();
  return value == 0 ? DefaultNumber(setting) : value;
}

int Dispatch(const LedgerixCommand& command, const LedgerixSettings& settings, std::string* out,
             std::string* err, std::istream* input) {
  switch (command.mode) {
    case LedgerixMode::kRecordContact:
      return RecordContact(command, settings, err);
    case LedgerixMode::kRecordContacts:
      return RecordContacts(settings, input, err);
    case LedgerixMode::kListContacts:
      return ListContacts(settings, out, err);
    case LedgerixMode::kActivityReport:
    case LedgerixMode::kFilterReport:
      return Report(command, settings, out, err);
    case LedgerixMode::kMigrate:
      return Migrate(command, settings, out, err);
    case LedgerixMode::kUserReport:
      return UserReportOf(command, settings, out, err);
    case LedgerixMode::kWho:
      return Who(command, settings, out, err);
    case LedgerixMode::kPseudonym:
      return PseudonymOf(command, settings, out, err);
    case LedgerixMode::kUnmask:
      return Unmask(command, settings, out, err);
  }
  return 2;
}

}  // namespace

LedgerixSettings ReadLedgerixSettings(const platform::Clock& clock) {
  LedgerixSettings settings;
  settings.install_path = ReadInstallPath();
  settings.now = clock.Now();
  settings.activity_database = CRegTextValue(setting::kActivityDatabase).Read();
  settings.pseudonyms = CRegNumberValue(setting::kReportPseudonyms).Read() == 1;
  settings.contact_window_seconds =
      static_cast<int64_t>(ReadPositive(setting::kContactWindowHours)) * 3600;
  settings.contact_keep_seconds =
      static_cast<int64_t>(ReadPositive(setting::kContactKeepDays)) * 86400;
  // An active contact is never dropped.
  settings.contact_keep_seconds =
      std::max(settings.contact_keep_seconds, settings.contact_window_seconds);
  return settings;
}

int RunLedgerix(const std::vector<std::string>& args, const LedgerixSettings& settings,
                std::string* out, std::string* err, std::istream* input) {
  out->clear();
  std::optional<LedgerixCommand> command = ParseLedgerixCommand(args);
  if (!command) {
    *err += LedgerixUsage();
    return 2;
  }
  if (!command->problem.empty()) {
    *err += command->problem + "\n";
    return 1;
  }
  if (settings.install_path.empty()) {
    // Without it every file would land in whatever folder the tool runs in.
    *err +=
        "ledgerix: no install folder is configured (registry value apppath under "
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane); set it with QuorvaneServerConfig\n";
    return 1;
  }
  try {
    int code = Dispatch(*command, settings, out, err, input);
    if (code != 0) out->clear();
    return code;
  } catch (const std::exception& e) {
    // A half-built report must not reach the mail.
    out->clear();
    *err += std::string("ledgerix: ") + e.what() + "\n";
    return 1;
  }
}
