// Reads a log file line by line. Lines end in LF or CR LF (the line end is
// not part of the line); the last line may lack one. A line longer than the
// bound is skipped without being held in memory.
// Owned by one thread; not copyable.
#ifndef SERVER_LOGIMPORT_LINE_READER_H_
#define SERVER_LOGIMPORT_LINE_READER_H_

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

class LineReader {
 public:
  static constexpr size_t kMaxLine = 1 << 20;  // 1 MiB

  enum class Result { kLine, kTooLong, kEnd, kError };

  explicit LineReader(const std::string& path, size_t max_line = kMaxLine);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool is_open() const { return in_.is_open(); }
  // kLine with `line` set; kTooLong when a line was skipped for its length;
  // kEnd when nothing more could be read; kError when the file is not open.
  // A read failure looks like the end: compare bytes_read() with the file's
  // size to tell a whole read from a cut one (ReadAllLines does).
  Result Next(std::string* line);
  uint64_t bytes_read() const { return bytes_read_; }

 private:
  Result SkipRest();

  int Get();

  std::ifstream in_;
  size_t max_line_;
  uint64_t bytes_read_ = 0;
};

// Reads `path` to its end: each line goes to `on_line`, and each line
// skipped for its length makes a call to `on_too_long`. Throws
// std::runtime_error when the file cannot be opened or its read stops short
// of the file's size.
void ReadAllLines(const std::string& path,
                  const std::function<void(const std::string&)>& on_line,
                  const std::function<void()>& on_too_long);

#endif  // SERVER_LOGIMPORT_LINE_READER_H_
