// Test helpers of the ledgerix tests: a temporary folder removed at the end,
// and a time zone set for the life of a scope.
#ifndef TOOLS_LEDGERIX_TEST_SUPPORT_H_
#define TOOLS_LEDGERIX_TEST_SUPPORT_H_

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/clock.h"

class TempFolder {
 public:
  TempFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "ledgerixXXXXXX").string();
    if (mkdtemp(templ.data()) != nullptr) path_ = templ + "/";
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    if (!path_.empty()) std::filesystem::remove_all(path_);
  }
  // Ends in "/"; empty when the folder could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;
  ~ScopedTimeZone() {
    if (had_old_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_old_ = false;
  std::string old_;
};

// Seconds since 1970 of a local date and time.
inline int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0,
                         int second = 0) {
  return platform::LocalTimeOf(year, month, day, hour, minute, second);
}

#endif  // TOOLS_LEDGERIX_TEST_SUPPORT_H_
