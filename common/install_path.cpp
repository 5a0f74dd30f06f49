#include "common/install_path.h"

#include "common/reg_value.h"

std::string NormalizeInstallPath(const std::string& apppath) {
  if (apppath.empty() || apppath.back() == '/') return apppath;
  return apppath + "/";
}

std::string ReadInstallPath() {
  return NormalizeInstallPath(CRegTextValue(setting::kAppPath).Value());
}

std::string InstallFile(const std::string& relative) { return ReadInstallPath() + relative; }
