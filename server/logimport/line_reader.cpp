#include "server/logimport/line_reader.h"

#include <cstring>
#include <stdexcept>

namespace {

constexpr size_t kBufferSize = 1 << 16;

std::string_view WithoutCarriageReturn(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

LineReader::LineReader(platform::ExclusiveFile& file, size_t max_line)
    : file_(file), max_line_(max_line), buffer_(kBufferSize) {}

bool LineReader::Fill() {
  int64_t n = file_.ReadAt(static_cast<int64_t>(offset_), buffer_.data(), buffer_.size());
  if (n <= 0) {
    error_ = n < 0;
    return false;
  }
  hash_.Update(buffer_.data(), static_cast<size_t>(n));
  offset_ += static_cast<uint64_t>(n);
  pos_ = 0;
  end_ = static_cast<size_t>(n);
  return true;
}

LineReader::Result LineReader::Next(std::string_view* line) {
  carry_.clear();
  bool too_long = false;
  for (;;) {
    if (pos_ == end_ && !Fill()) {
      if (error_) return Result::kError;
      if (too_long) return Result::kTooLong;
      if (carry_.empty()) return Result::kEnd;
      *line = WithoutCarriageReturn(carry_);
      return Result::kLine;
    }
    const char* start = buffer_.data() + pos_;
    const char* eol = static_cast<const char*>(std::memchr(start, '\n', end_ - pos_));
    const size_t length = eol ? static_cast<size_t>(eol - start) : end_ - pos_;
    pos_ += length + (eol ? 1 : 0);
    if (!too_long && carry_.size() + length > max_line_) {
      too_long = true;
      carry_.clear();
    }
    if (too_long) {
      if (eol) return Result::kTooLong;
      continue;
    }
    if (eol && carry_.empty()) {  // the usual case: the whole line is in the buffer
      *line = WithoutCarriageReturn(std::string_view(start, length));
      return Result::kLine;
    }
    carry_.append(start, length);
    if (eol) {
      *line = WithoutCarriageReturn(carry_);
      return Result::kLine;
    }
  }
}

LogFileRead ReadAllLines(platform::ExclusiveFile& file,
                         const std::function<void(std::string_view)>& on_line,
                         const std::function<void()>& on_too_long,
                         const std::function<bool()>& stop_requested) {
  LineReader reader(file);
  std::string_view line;
  uint64_t next_stop_check = kBytesBetweenStopChecks;
  for (LineReader::Result r; (r = reader.Next(&line)) != LineReader::Result::kEnd;) {
    if (r == LineReader::Result::kError) throw std::runtime_error("a read failed");
    if (stop_requested && reader.bytes_read() >= next_stop_check) {
      next_stop_check = reader.bytes_read() + kBytesBetweenStopChecks;
      if (stop_requested()) throw ReadStopped();
    }
    if (r == LineReader::Result::kTooLong)
      on_too_long();
    else
      on_line(line);
  }
  const int64_t size = static_cast<int64_t>(reader.bytes_read());
  if (size != file.Size()) throw std::runtime_error("it changed while it was read");
  return LogFileRead{size, reader.hash().Hex()};
}
