#include "server/reports/report_config.h"

#include "common/reg_value.h"
#include "common/report_table.h"

namespace {

std::string Text(const Setting& setting) { return CRegTextValue(setting).Value(); }

}  // namespace

ReportConfig ReadReportConfig() {
  ReportConfig config;
  config.report_time = Text(setting::kReportTime);
  config.email_address = Text(setting::kEmailAddress);
  for (const ReportEntry& report : ReportTable())
    config.switches.push_back(CRegNumberValue(*report.enabled_by).Value());
  config.apppath = Text(setting::kAppPath);
  return config;
}
