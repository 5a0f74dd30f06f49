// Pouring a report into the mail template.
#ifndef NOTIFIER_FILL_TEMPLATE_H_
#define NOTIFIER_FILL_TEMPLATE_H_

#include <string>
#include <string_view>

inline constexpr std::string_view kReportPlaceholder = "@logip@";

// `templ` with every "@logip@", left to right, replaced by `message`; the
// inserted text is not searched again. A template without the placeholder
// comes back unchanged.
std::string FillTemplate(std::string_view templ, std::string_view message);

#endif  // NOTIFIER_FILL_TEMPLATE_H_
