// ContentHash: a 64-bit FNV-1a hash of a log file's bytes, fed in pieces as
// the file is read. It tells a log that was imported already from a new one
// of the same name and size; it is no defence against a forger, who could
// as well delete the file. A plain value; one thread at a time.
#ifndef SERVER_LOGIMPORT_CONTENT_HASH_H_
#define SERVER_LOGIMPORT_CONTENT_HASH_H_

#include <cstddef>
#include <cstdint>
#include <string>

class ContentHash {
 public:
  void Update(const char* data, size_t size);
  // Sixteen lower-case hex digits.
  std::string Hex() const;

 private:
  uint64_t state_ = 0xcbf29ce484222325ull;  // the FNV-1a offset basis
};

#endif  // SERVER_LOGIMPORT_CONTENT_HASH_H_
