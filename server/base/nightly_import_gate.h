// NightlyImportGate: keeps the nightly import and the report passes apart,
// so a report never reads a night that is half imported. The log importer
// and the e-mail worker share the one gate that the server object owns.
//
// A report pass may not begin while an import runs or is due: due from the
// moment the importer says so, and also in local minute 00:00 until an
// import has begun in it, so a report hour of 0 cannot slip in before the
// importer's first poll of the night. An import may not begin while a
// report pass runs. Neither side ever blocks here: a refused worker tries
// again at its next poll, so a stop request is never held up.
//
// Thread-safe.
#ifndef SERVER_BASE_NIGHTLY_IMPORT_GATE_H_
#define SERVER_BASE_NIGHTLY_IMPORT_GATE_H_

#include <cstdint>
#include <mutex>

class NightlyImportGate {
 public:
  NightlyImportGate() = default;
  NightlyImportGate(const NightlyImportGate&) = delete;
  NightlyImportGate& operator=(const NightlyImportGate&) = delete;

  // Log importer. `now` is seconds since 1970.
  void MarkImportDue();
  bool TryBeginImport(int64_t now);  // false while a report pass runs
  void EndImport();                  // also ends the due state

  // E-mail worker.
  bool TryBeginReports(int64_t now);
  void EndReports();

 private:
  mutable std::mutex mu_;
  // All guarded by mu_.
  bool import_due_ = false;
  bool importing_ = false;
  bool reporting_ = false;
  int64_t last_import_begin_ = INT64_MIN;
};

#endif  // SERVER_BASE_NIGHTLY_IMPORT_GATE_H_
