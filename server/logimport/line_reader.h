// Reads a log file line by line through its open descriptor (close-on-exec,
// held exclusively by the caller), hashing every byte it reads. Lines end
// in LF or CR LF (the line end is not part of the line); the last line may
// lack one. A line longer than the bound is skipped without being held in
// memory.
// Owned by one thread; not copyable.
#ifndef SERVER_LOGIMPORT_LINE_READER_H_
#define SERVER_LOGIMPORT_LINE_READER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "server/formats/content_hash.h"

class LineReader {
 public:
  static constexpr size_t kMaxLine = 1 << 20;  // 1 MiB

  enum class Result { kLine, kTooLong, kEnd, kError };

  explicit LineReader(platform::ExclusiveFile& file, size_t max_line = kMaxLine);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // kLine with `line` set (valid until the next call); kTooLong when a line
  // was skipped for its length; kEnd at the end of the file; kError when a
  // read failed.
  Result Next(std::string_view* line);
  uint64_t bytes_read() const { return offset_; }
  const ContentHash& hash() const { return hash_; }

 private:
  // Reads the next piece of the file; false at its end or on a failure.
  bool Fill();

  platform::ExclusiveFile& file_;
  const size_t max_line_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  std::string carry_;  // a line cut by the end of the buffer
  uint64_t offset_ = 0;
  bool error_ = false;
  ContentHash hash_;
};

// What a whole read found: the bytes read and their hash.
struct LogFileRead {
  int64_t size = 0;
  std::string hash;
};

// Thrown by ReadAllLines when its stop check says stop.
struct ReadStopped {};

// Bytes read between two questions to the stop check: a few milliseconds.
inline constexpr uint64_t kBytesBetweenStopChecks = uint64_t{4} << 20;

// Reads the open `file` from its start to its end: each line goes to
// `on_line`, and each line skipped for its length makes a call to
// `on_too_long`. Throws std::runtime_error when a read fails or the file's
// size changes while it is read, and ReadStopped when `stop_requested`
// (asked every kBytesBetweenStopChecks; empty: never) says stop.
LogFileRead ReadAllLines(platform::ExclusiveFile& file,
                         const std::function<void(std::string_view)>& on_line,
                         const std::function<void()>& on_too_long,
                         const std::function<bool()>& stop_requested = {});

#endif  // SERVER_LOGIMPORT_LINE_READER_H_
