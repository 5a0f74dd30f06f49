// NightlyImportGate: keeps the nightly import and the report passes apart,
// so a report never reads a night that is half imported. The log importer
// and the e-mail worker share the one gate that the server object owns.
//
// A report pass may not begin while an import runs or is due, nor on a
// local date the importer has not looked at yet: the night of a new date
// may be due at the importer's first look on it, so a report hour of 0 (or
// one that comes first after a skipped midnight) cannot slip in before it.
// An import may not begin while a report pass runs. Neither side ever
// blocks here: a refused worker tries again at its next poll, so a stop
// request is never held up.
//
// Thread-safe.
#ifndef SERVER_BASE_NIGHTLY_IMPORT_GATE_H_
#define SERVER_BASE_NIGHTLY_IMPORT_GATE_H_

#include <cstdint>
#include <mutex>
#include <optional>

class NightlyImportGate {
 public:
  NightlyImportGate() = default;
  NightlyImportGate(const NightlyImportGate&) = delete;
  NightlyImportGate& operator=(const NightlyImportGate&) = delete;

  // Log importer, at each poll: the local date it looked at (a
  // platform::DayNumber) and whether that date's night is due.
  void ImporterLooked(int64_t day, bool import_due);
  bool TryBeginImport();  // false while a report pass runs
  void EndImport();       // also ends the due state

  // E-mail worker. `now` is seconds since 1970.
  bool TryBeginReports(int64_t now);
  void EndReports();

 private:
  mutable std::mutex mu_;
  // All guarded by mu_.
  bool import_due_ = false;
  bool importing_ = false;
  bool reporting_ = false;
  std::optional<int64_t> importer_day_;
};

#endif  // SERVER_BASE_NIGHTLY_IMPORT_GATE_H_
