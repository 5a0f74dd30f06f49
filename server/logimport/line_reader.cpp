#include "server/logimport/line_reader.h"

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
