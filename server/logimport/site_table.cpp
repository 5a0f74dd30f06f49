#include "server/logimport/site_table.h"

data_list2& CSiteTable::Entry(std::string_view key) {
  auto it = index_.find(key);
  if (it == index_.end()) {
    it = index_.emplace(std::string(key), entries_.size()).first;
    entries_.push_back(data_list2{std::string(key), 0});
  }
  return entries_[it->second];
}

void CSiteTable::Add(std::string_view key, int32_t number) {
  data_list2& entry = Entry(key);
  // Two's-complement wrap, as a 32-bit signed addition behaves on the
  // machines the logs come from, without undefined behaviour here.
  entry.size =
      static_cast<int32_t>(static_cast<uint32_t>(entry.size) + static_cast<uint32_t>(number));
}

void CSiteTable::Replace(std::string_view key, int32_t number) { Entry(key).size = number; }
