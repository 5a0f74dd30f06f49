// Notivo's program logic: deliver one report to the notification endpoint.
//
// Arguments: recipient address, report file, template flag (1, as read by
// atoi, wraps the report in the mail template). Exit codes below; every
// failure writes one line on `err`. Runs on the program's main thread.
#ifndef NOTIFIER_NOTIVO_H_
#define NOTIFIER_NOTIVO_H_

#include <ostream>
#include <string>
#include <vector>

inline constexpr int kNotivoSent = 0;
inline constexpr int kNotivoUsage = 2;
inline constexpr int kNotivoUnreadable = 3;
inline constexpr int kNotivoSendFailed = 4;
// The endpoint answered with an HTTP status other than 2xx (a redirect, a
// refusal, an error): the mail was not sent.
inline constexpr int kNotivoRefused = 5;

// The endpoint: "http://" + NotifyHost + "/vantry.php", the host (with an
// optional ":port") read from SOFTWARE\Quorvane, 127.0.0.1 when unset; a
// NotifyHost of "https://host[:port]" gives that + "/vantry.php" (HTTPS,
// checked against NotifyCAFile or the system's CA store).
std::string NotifyEndpointUrl();

// The mail template's path: the install path + "templates/En/email".
std::string MailTemplatePath();

// `args` are the program's arguments without its name. With kNotivoRefused,
// `out` (when given) also gets "HTTP status N" on a line of its own, which
// the server, which keeps Notivo's standard output, puts in its line.
int RunNotivo(const std::vector<std::string>& args, std::ostream& err, std::ostream* out = nullptr);

#endif  // NOTIFIER_NOTIVO_H_
