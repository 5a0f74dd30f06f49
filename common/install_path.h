// File names in the install folder (registry value "apppath").
#ifndef COMMON_INSTALL_PATH_H_
#define COMMON_INSTALL_PATH_H_

#include <string>

// The install path with a trailing "/" added when it lacks one; empty when
// the value is missing, so names stay relative to the current folder.
std::string NormalizeInstallPath(const std::string& apppath);

// `full_name` is the registry name the caller reads "apppath" under
// ("\SOFTWARE\Quorvane\apppath" or "Software\Quorvane\apppath").
std::string ReadInstallPath(const std::string& full_name = "\\SOFTWARE\\Quorvane\\apppath");

// The install path followed by `relative` (written with "/").
std::string InstallFile(const std::string& relative,
                        const std::string& full_name = "\\SOFTWARE\\Quorvane\\apppath");

#endif  // COMMON_INSTALL_PATH_H_
