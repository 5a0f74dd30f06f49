// Small numbers for the sites of a report read, given in the order the
// sites are first seen, so that per-site totals live in plain arrays. A
// month has millions of rows over some ten thousand sites: a site is found
// in an open-addressing table whose slot holds the hash and where the name
// lies, names packed one after another, so a lookup touches two places in
// memory. Helper of read_activity_of_period; one thread.
#ifndef SERVER_DB_SITE_NUMBERS_H_
#define SERVER_DB_SITE_NUMBERS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class SiteNumbers {
 public:
  SiteNumbers();

  // The site's number, adding it when new.
  uint32_t Number(std::string_view site);
  size_t size() const { return offsets_.size(); }
  std::string_view name(uint32_t number) const { return NameAt(offsets_[number]); }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  struct Slot {
    uint64_t hash = 0;
    uint32_t number = kEmpty;
    uint32_t offset = 0;  // of the name in names_
  };

  std::string_view NameAt(uint32_t offset) const;
  uint32_t Add(std::string_view site, uint64_t hash, size_t slot);
  void Grow();

  std::vector<Slot> slots_;        // a power of two of them, at most half used
  std::string names_;              // each name: 4 bytes of length, then the bytes
  std::vector<uint32_t> offsets_;  // of each name, by number
};

#endif  // SERVER_DB_SITE_NUMBERS_H_
