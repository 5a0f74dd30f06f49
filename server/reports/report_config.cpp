#include "server/reports/report_config.h"

#include "common/reg_value.h"

namespace {

std::string Text(const char* full_name) { return CRegTextValue(full_name).Value(); }
uint32_t Number(const char* full_name) { return CRegNumberValue(full_name).Value(); }

}  // namespace

ReportConfig ReadReportConfig() {
  ReportConfig config;
  config.report_time = Text("\\SOFTWARE\\Quorvane\\ReportTime");
  config.email_address = Text("\\SOFTWARE\\Quorvane\\EmailAddress");
  config.daily = Number("SOFTWARE\\Quorvane\\RegDaily");
  config.weekly = Number("SOFTWARE\\Quorvane\\RegWeekly");
  config.monthly = Number("SOFTWARE\\Quorvane\\RegMonthly");
  config.day_filter = Number("SOFTWARE\\Quorvane\\RegDayFilter");
  config.week_filter = Number("SOFTWARE\\Quorvane\\RegWeekFilter");
  config.month_filter = Number("SOFTWARE\\Quorvane\\RegMonFilter");
  config.apppath = Text("\\SOFTWARE\\Quorvane\\apppath");
  return config;
}
