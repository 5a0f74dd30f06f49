// Posting one notification to the product's web endpoint with libcurl.
// Callable from any thread once InitNotificationTransport has run.
#ifndef NOTIFIER_POST_NOTIFICATION_H_
#define NOTIFIER_POST_NOTIFICATION_H_

#include <string>

struct PostLimits {
  long connect_seconds = 30;  // to have the connection
  long total_seconds = 120;   // for the whole request
};

// Whom an https:// endpoint must prove itself to: its certificate must
// chain to a CA in `ca_file`, or in the system's store when that is empty,
// and name the host. Plain http:// URLs ignore it.
struct PostTrust {
  std::string ca_file;
};

// Sets up libcurl's global state; once per process, before any thread
// other than the caller exists. When that fails, PostNotification says so.
void InitNotificationTransport();

// "name=<message>&userid=<address>", both inserted byte for byte.
std::string NotificationBody(const std::string& address, const std::string& message);

// POSTs NotificationBody to `url` (http:// or https://, no other scheme)
// with its length given explicitly and discards the response's body. True
// when the transfer completed, with `http_status` set to the response's
// status (the caller judges it); otherwise `error` says why, on one line
// (a certificate that fails the checks of `trust` among the reasons).
bool PostNotification(const std::string& url, const std::string& address,
                      const std::string& message, const PostLimits& limits, const PostTrust& trust,
                      long* http_status, std::string* error);

#endif  // NOTIFIER_POST_NOTIFICATION_H_
