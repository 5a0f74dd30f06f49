// The registry file as the process last read it, shared by every reader.
//
// Values are read often (a worker reads several every few seconds) from a
// file that rarely changes, so each file is parsed once and kept until it
// changes: its device, inode, size, modification and change times (with
// nanoseconds) are compared on every read, which costs one stat. A file
// changed within the last seconds may change again without a new time, so
// until it has been quiet for a while its bytes are compared as well. A
// change written by any process is seen at the next read.
//
// ReadRegistry may be called from any thread; one lock guards the cache,
// and a snapshot once handed out is never changed, so it may be read while
// another thread loads a newer one.
#ifndef PLATFORM_REGISTRY_CACHE_H_
#define PLATFORM_REGISTRY_CACHE_H_

#include <cstddef>
#include <memory>
#include <string>

#include "platform/registry.h"

namespace platform {

// A registry file larger than this is refused: no configuration comes near
// it, and parsing it would hold up every reader.
inline constexpr size_t kMaxRegistryFileSize = 16u << 20;

struct RegistrySnapshot {
  std::shared_ptr<const RegistryFile> file;  // never null; empty when unreadable
  // Empty when the file is missing or was read whole; otherwise why it
  // could not be (read), as "Permission denied" or "line 3 cannot be read:
  // ...". Reading never reports it; the caller decides whether to.
  std::string problem;
};

RegistrySnapshot ReadRegistry(const std::string& path);

// The file's text, with no cache: a missing file is empty. False, with
// `error` naming the file and the cause, when it exists and cannot be read
// or is larger than kMaxRegistryFileSize.
bool ReadRegistryText(const std::string& path, std::string* contents, std::string* error);

}  // namespace platform

#endif  // PLATFORM_REGISTRY_CACHE_H_
