#include "notifier/fill_template.h"

std::string FillTemplate(std::string_view templ, std::string_view message) {
  std::string out;
  size_t pos = 0;
  for (;;) {
    size_t hit = templ.find(kReportPlaceholder, pos);
    if (hit == std::string_view::npos) break;
    out.append(templ.substr(pos, hit - pos));
    out.append(message);
    pos = hit + kReportPlaceholder.size();
  }
  out.append(templ.substr(pos));
  return out;
}
