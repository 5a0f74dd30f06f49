#include "notifier/notivo.h"

#include <cstdlib>
#include <optional>

#include "common/install_path.h"
#include "common/reg_value.h"
#include "notifier/fill_template.h"
#include "notifier/post_notification.h"
#include "notifier/text_file.h"

namespace {

// Only a success is a delivery: a redirect is not followed (it could lead
// anywhere), so the report did not reach the mailer.
bool IsDelivery(long http_status) { return http_status >= 200 && http_status <= 299; }

// Test-only overrides of the time limits, in whole seconds.
long LimitFromEnvironment(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  long seconds = std::strtol(text, nullptr, 10);
  return seconds > 0 ? seconds : fallback;
}

PostLimits LimitsFromEnvironment() {
  PostLimits limits;
  limits.connect_seconds = LimitFromEnvironment("NOTIVO_CONNECT_TIMEOUT", limits.connect_seconds);
  limits.total_seconds = LimitFromEnvironment("NOTIVO_REQUEST_TIMEOUT", limits.total_seconds);
  return limits;
}

// The message text: the report, poured into the template when asked.
std::optional<std::string> ComposeMessage(const std::string& report_path, bool use_template,
                                          const std::string& template_path, std::ostream& err) {
  std::optional<std::string> report = ReadTextFile(report_path);
  if (!report) {
    err << "Notivo: cannot read the report file \"" << report_path << "\"\n";
    return std::nullopt;
  }
  if (!use_template) return report;
  // A missing template sends nothing rather than an empty message.
  std::optional<std::string> templ = ReadTextFile(template_path);
  if (!templ) {
    err << "Notivo: cannot read the mail template \"" << template_path << "\"\n";
    return std::nullopt;
  }
  return FillTemplate(*templ, *report);
}

}  // namespace

std::string NotifyEndpointUrl() {
  std::string host = CRegTextValue(setting::kNotifyHost).Value();
  if (host.empty()) host = setting::kNotifyHost.default_value;
  if (host.starts_with(kHttpsPrefix)) return host + "/vantry.php";
  return "http://" + host + "/vantry.php";
}

std::string MailTemplatePath() { return InstallFile("templates/En/email"); }

int RunNotivo(const std::vector<std::string>& args, std::ostream& err, std::ostream* out) {
  // The install path is taken when the program starts, before anything else.
  const std::string template_path = MailTemplatePath();
  if (args.size() < 3) {
    err << "Notivo: usage: Notivo <recipient address> <report file> <template flag>\n";
    return kNotivoUsage;
  }
  const std::string& address = args[0];
  bool use_template = std::atoi(args[2].c_str()) == 1;
  std::optional<std::string> message = ComposeMessage(args[1], use_template, template_path, err);
  if (!message) return kNotivoUnreadable;

  const std::string url = NotifyEndpointUrl();
  std::string error;
  long http_status = 0;
  InitNotificationTransport();
  const PostTrust trust{CRegTextValue(setting::kNotifyCAFile).Value()};
  if (!PostNotification(url, address, *message, LimitsFromEnvironment(), trust, &http_status,
                        &error)) {
    err << "Notivo: sending the notification to " << url << " failed: " << error << "\n";
    return kNotivoSendFailed;
  }
  if (!IsDelivery(http_status)) {
    err << "Notivo: " << url << " did not take the notification: HTTP status " << http_status
        << "\n";
    if (out) *out << "HTTP status " << http_status << "\n";
    return kNotivoRefused;
  }
  return kNotivoSent;
}
