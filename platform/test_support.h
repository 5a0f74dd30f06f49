// Helpers shared by the unit tests of every layer: a temporary folder removed
// at the end, and an environment variable, a time zone and a registry file
// set for the life of a scope. Header only; the little it calls is in the
// platform library every test links.
#ifndef PLATFORM_TEST_SUPPORT_H_
#define PLATFORM_TEST_SUPPORT_H_

#include <stdlib.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/files.h"

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

// Sets an environment variable and restores its previous value, or its
// absence, at the end of the scope.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;
  ~ScopedEnvironmentVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A registry file in a temporary folder of its own, named by
// QUORVANE_REGISTRY for the life of the object. The file does not exist
// until written; the programs' readers then find an empty registry.
class ScopedRegistryFile {
 public:
  ScopedRegistryFile() : variable_("QUORVANE_REGISTRY", path()) {}
  ScopedRegistryFile(const ScopedRegistryFile&) = delete;
  ScopedRegistryFile& operator=(const ScopedRegistryFile&) = delete;

  // Empty when no temporary folder could be made.
  std::string path() const { return folder_.path().empty() ? "" : folder_.path() + "registry.reg"; }

  // Replaces the file (atomically, so a worker reading it meanwhile sees
  // the old file or the new one) with the editor's header and `lines`.
  bool Write(const std::string& lines, std::string* error) const {
    return platform::WriteFileAtomically(
        path(), "Windows Registry Editor Version 5.00\r\n\r\n" + lines, error);
  }

  // Replaces the file with `values` ("\"name\"=..." lines) as the only
  // values under HKEY_LOCAL_MACHINE\SOFTWARE\Quorvane.
  bool WriteSettings(const std::string& values, std::string* error) const {
    return Write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\r\n" + values, error);
  }

 private:
  TempFolder folder_;  // made before the variable names a file in it
  ScopedEnvironmentVariable variable_;
};

#endif  // PLATFORM_TEST_SUPPORT_H_
