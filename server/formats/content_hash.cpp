#include "server/formats/content_hash.h"

#include <cstdio>

namespace {

constexpr uint64_t kPrime1 = 0x9e3779b185ebca87ull;
constexpr uint64_t kPrime2 = 0xc2b2ae3d27d4eb4full;
constexpr uint64_t kPrime3 = 0x165667b19e3779f9ull;

uint64_t RotateLeft(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

// Eight bytes as a number, first byte lowest, on any byte order.
uint64_t Word(const char* data) {
  uint64_t word = 0;
  for (int i = 7; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(data[i]);
  return word;
}

}  // namespace

void ContentHash::Mix(uint64_t word) { state_ = RotateLeft(state_ + word * kPrime2, 31) * kPrime1; }

void ContentHash::Update(const char* data, size_t size) {
  length_ += size;
  while (size > 0 && pending_bytes_ != 0) {
    pending_ |= uint64_t{static_cast<unsigned char>(*data++)} << (8 * pending_bytes_);
    --size;
    if (++pending_bytes_ == 8) {
      Mix(pending_);
      pending_ = 0;
      pending_bytes_ = 0;
    }
  }
  for (; size >= 8; data += 8, size -= 8) Mix(Word(data));
  for (; size > 0; --size) {
    pending_ |= uint64_t{static_cast<unsigned char>(*data++)} << (8 * pending_bytes_);
    ++pending_bytes_;
  }
}

std::string ContentHash::Hex() const {
  uint64_t h = state_;
  if (pending_bytes_ != 0) h = RotateLeft(h + (pending_ ^ pending_bytes_) * kPrime2, 31) * kPrime1;
  h ^= length_;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  h *= kPrime3;
  h ^= h >> 32;
  char buffer[17];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(h));
  return buffer;
}
