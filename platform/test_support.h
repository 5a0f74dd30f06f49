// Helpers shared by the unit tests of every layer: a temporary folder removed
// at the end, and a time zone set for the life of a scope. Header only, so no
// library has to link it.
#ifndef PLATFORM_TEST_SUPPORT_H_
#define PLATFORM_TEST_SUPPORT_H_

#include <stdlib.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

class TempFolder {
 public:
  TempFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "quorvane-testXXXXXX").string();
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

// Restores the previous TZ, or its absence, so no test leaks its zone into
// the tests that run after it.
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

#endif  // PLATFORM_TEST_SUPPORT_H_
