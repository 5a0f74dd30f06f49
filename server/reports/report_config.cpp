#include "server/reports/report_config.h"

#include "common/reg_value.h"

namespace {

std::string Text(const Setting& setting) { return CRegTextValue(setting).Value(); }
uint32_t Number(const Setting& setting) { return CRegNumberValue(setting).Value(); }

}  // namespace

ReportConfig ReadReportConfig() {
  ReportConfig config;
  config.report_time = Text(setting::kReportTime);
  config.email_address = Text(setting::kEmailAddress);
  config.daily = Number(setting::kRegDaily);
  config.weekly = Number(setting::kRegWeekly);
  config.monthly = Number(setting::kRegMonthly);
  config.day_filter = Number(setting::kRegDayFilter);
  config.week_filter = Number(setting::kRegWeekFilter);
  config.month_filter = Number(setting::kRegMonFilter);
  config.apppath = Text(setting::kAppPath);
  return config;
}
