// The site table: the totals of one per-user daily log, one entry per key
// (web host or report key) in the order the keys were first seen. Lookups
// go through a hash index, so a file with many hosts stays linear.
// Owned and used by the log importer's thread only.
#ifndef SERVER_LOGIMPORT_SITE_TABLE_H_
#define SERVER_LOGIMPORT_SITE_TABLE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/string_map.h"

struct data_list2 {
  std::string url;
  int32_t size = 0;
};

class CSiteTable {
 public:
  // A request line: adds `number` to the key's size (32-bit, wrapping).
  void Add(std::string_view key, int32_t number);
  // A report line: the key's size becomes `number`.
  void Replace(std::string_view key, int32_t number);

  const std::vector<data_list2>& entries() const { return entries_; }

 private:
  // The entry for `key`, appended with size 0 when new.
  data_list2& Entry(std::string_view key);

  std::vector<data_list2> entries_;
  // url -> position in entries_
  StringMap<size_t> index_;
};

#endif  // SERVER_LOGIMPORT_SITE_TABLE_H_
