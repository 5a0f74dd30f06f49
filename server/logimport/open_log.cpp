#include "server/logimport/open_log.h"

#include <string>

namespace {

// Why the open `file` is not to be read, or "" when it may be.
std::string SizeProblem(const platform::ExclusiveFile& file) {
  const int64_t size = file.Size();
  if (size > kMaxLogBytes) return "larger than 1 GiB (" + std::to_string(size) + " bytes)";
  const int64_t allocated = file.AllocatedBytes();
  if (size > kMinSparseLogBytes && allocated >= 0 && allocated < size / 16) {
    return "mostly holes (" + std::to_string(size) + " bytes, " + std::to_string(allocated) +
           " on disk)";
  }
  return "";
}

}  // namespace

bool OpenLog(DayImport& import, const std::string& name, platform::ExclusiveFile* file) {
  using Result = platform::ExclusiveFile::OpenResult;
  switch (file->OpenRegularForReading(import.PathOf(name))) {
    case Result::kOpened:
      break;
    case Result::kNotRegularFile:
      import.summary.Leave(name, "not a regular file (a link, a pipe or a device)");
      return false;
    case Result::kFailed:
      import.summary.Leave(name, "held by another program, or not readable");
      return false;
  }
  const std::string problem = SizeProblem(*file);
  if (problem.empty()) return true;
  file->Close();
  import.summary.Leave(name, problem);
  return false;
}
