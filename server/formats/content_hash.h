// ContentHash: a 64-bit hash of a log file's bytes, fed in pieces as the
// file is read (the result does not depend on how the bytes are cut into
// pieces). It tells a log that was imported already from a new one of the
// same name and size; it is no defence against a forger, who could as well
// delete the file.
//
// It is this program's own function, stored in ImportedLog.hash, so it must
// never change. It is not XXH64 (the two agree on empty input only) and no
// library computes it: one lane of xxHash64's round, state = rotl(state +
// word * P2, 31) * P1, starting from P5, over each eight bytes read as a
// little-endian number; the last one to seven bytes as one more word
// (zero-padded, xor their count); then the length xored in and xxHash64's
// final avalanche. The test pins its value for fixed inputs.
// A plain value; one thread at a time.
#ifndef SERVER_FORMATS_CONTENT_HASH_H_
#define SERVER_FORMATS_CONTENT_HASH_H_

#include <cstddef>
#include <cstdint>
#include <string>

class ContentHash {
 public:
  void Update(const char* data, size_t size);
  // Sixteen lower-case hex digits.
  std::string Hex() const;

 private:
  void Mix(uint64_t word);

  uint64_t state_ = 0x27d4eb2f165667c5ull;
  uint64_t length_ = 0;
  uint64_t pending_ = 0;  // the bytes of an unfinished word, first byte lowest
  unsigned pending_bytes_ = 0;
};

#endif  // SERVER_FORMATS_CONTENT_HASH_H_
