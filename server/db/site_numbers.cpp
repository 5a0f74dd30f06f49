#include "server/db/site_numbers.h"

#include <cstring>
#include <functional>

SiteNumbers::SiteNumbers() : slots_(1024) {}

uint32_t SiteNumbers::Number(std::string_view site) {
  const uint64_t hash = std::hash<std::string_view>()(site);
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.number == kEmpty) return Add(site, hash, i);
    if (slot.hash == hash && NameAt(slot.offset) == site) return slot.number;
  }
}

std::string_view SiteNumbers::NameAt(uint32_t offset) const {
  uint32_t length = 0;
  std::memcpy(&length, names_.data() + offset, sizeof length);
  return {names_.data() + offset + sizeof length, length};
}

uint32_t SiteNumbers::Add(std::string_view site, uint64_t hash, size_t slot) {
  const auto number = static_cast<uint32_t>(offsets_.size());
  const auto offset = static_cast<uint32_t>(names_.size());
  const auto length = static_cast<uint32_t>(site.size());
  names_.append(reinterpret_cast<const char*>(&length), sizeof length);
  names_.append(site);
  offsets_.push_back(offset);
  slots_[slot] = {hash, number, offset};
  if (offsets_.size() * 2 > slots_.size()) Grow();
  return number;
}

void SiteNumbers::Grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.number == kEmpty) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].number != kEmpty) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}
