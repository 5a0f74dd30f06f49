#include "server/logimport/line_reader.h"

#include <stdexcept>

#include "platform/files.h"

namespace {

constexpr int kEof = std::char_traits<char>::eof();

}  // namespace

LineReader::LineReader(const std::string& path, size_t max_line)
    : in_(path, std::ios::binary), max_line_(max_line) {}

int LineReader::Get() {
  int c = in_.rdbuf()->sbumpc();
  if (c != kEof) ++bytes_read_;
  return c;
}

LineReader::Result LineReader::Next(std::string* line) {
  line->clear();
  if (!in_.is_open()) return Result::kError;
  for (;;) {
    int c = Get();
    if (c == kEof) {
      if (line->empty()) return Result::kEnd;
      break;
    }
    if (c == '\n') break;
    if (line->size() >= max_line_) {
      line->clear();
      return SkipRest();
    }
    line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return Result::kLine;
}

LineReader::Result LineReader::SkipRest() {
  for (int c = Get(); c != '\n' && c != kEof; c = Get()) {
  }
  return Result::kTooLong;
}

void ReadAllLines(const std::string& path,
                  const std::function<void(const std::string&)>& on_line,
                  const std::function<void()>& on_too_long) {
  LineReader reader(path);
  if (!reader.is_open()) throw std::runtime_error("cannot read " + path);
  std::string line;
  for (LineReader::Result r; (r = reader.Next(&line)) != LineReader::Result::kEnd;) {
    if (r == LineReader::Result::kError) throw std::runtime_error("cannot read " + path);
    if (r == LineReader::Result::kTooLong)
      on_too_long();
    else
      on_line(line);
  }
  if (static_cast<int64_t>(reader.bytes_read()) != platform::FileSize(path))
    throw std::runtime_error("read of " + path + " ended early");
}
