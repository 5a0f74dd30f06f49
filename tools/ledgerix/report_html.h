// HTML fragments of the reports, to sit inside the mail template where it
// holds "@logip@". Only tables and plain attributes: mail clients run no
// scripts and show few images, so bars are table cells with a background
// colour. Every text from the logs is escaped. Pure functions; any thread.
#ifndef TOOLS_LEDGERIX_REPORT_HTML_H_
#define TOOLS_LEDGERIX_REPORT_HTML_H_

#include <string>

#include "tools/ledgerix/report_model.h"

// & < > " ' as character references.
std::string EscapeHtml(const std::string& text);

std::string RenderActivityReport(const ActivityReport& report);
std::string RenderFilterReport(const FilterReport& report);

#endif  // TOOLS_LEDGERIX_REPORT_HTML_H_
