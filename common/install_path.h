// File names in the install folder (the setting "apppath").
#ifndef COMMON_INSTALL_PATH_H_
#define COMMON_INSTALL_PATH_H_

#include <string>

// The install path with a trailing "/" added when it lacks one; empty when
// the value is missing, so names stay relative to the current folder.
std::string NormalizeInstallPath(const std::string& apppath);

// The setting "apppath", normalized.
std::string ReadInstallPath();

// The install path followed by `relative` (written with "/").
std::string InstallFile(const std::string& relative);

#endif  // COMMON_INSTALL_PATH_H_
