#include "server/logimport/content_hash.h"

#include <cstdio>

void ContentHash::Update(const char* data, size_t size) {
  constexpr uint64_t kPrime = 0x100000001b3ull;
  uint64_t h = state_;
  for (size_t i = 0; i < size; ++i) h = (h ^ static_cast<unsigned char>(data[i])) * kPrime;
  state_ = h;
}

std::string ContentHash::Hex() const {
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(state_));
  return buffer;
}
