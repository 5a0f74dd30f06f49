#include "common/install_path.h"

#include "common/reg_value.h"

std::string NormalizeInstallPath(const std::string& apppath) {
  if (apppath.empty() || apppath.back() == '/') return apppath;
  return apppath + "/";
}

std::string ReadInstallPath(const std::string& full_name) {
  return NormalizeInstallPath(CRegTextValue(full_name).Value());
}

std::string InstallFile(const std::string& relative, const std::string& full_name) {
  return ReadInstallPath(full_name) + relative;
}
