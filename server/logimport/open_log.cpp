#include "server/logimport/open_log.h"

bool OpenLog(DayImport& import, const std::string& name, platform::ExclusiveFile* file) {
  using Result = platform::ExclusiveFile::OpenResult;
  switch (file->OpenRegularForReading(import.PathOf(name))) {
    case Result::kOpened:
      return true;
    case Result::kNotRegularFile:
      import.summary.Leave(name, "not a regular file (a link, a pipe or a device)");
      return false;
    case Result::kFailed:
      break;
  }
  import.summary.Leave(name, "held by another program, or not readable");
  return false;
}
