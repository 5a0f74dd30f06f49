// Posting one notification to the product's web endpoint with libcurl.
// Callable from any thread once InitNotificationTransport has run.
#ifndef NOTIFIER_POST_NOTIFICATION_H_
#define NOTIFIER_POST_NOTIFICATION_H_

#include <string>

struct PostLimits {
  long connect_seconds = 30;  // to have the connection
  long total_seconds = 120;   // for the whole request
};

// Sets up libcurl's global state; once per process, before any thread
// other than the caller exists. When that fails, PostNotification says so.
void InitNotificationTransport();

// "name=<message>&userid=<address>", both inserted byte for byte.
std::string NotificationBody(const std::string& address, const std::string& message);

// POSTs NotificationBody to `url` with its length given explicitly and
// discards the response, whatever its status. True when the transfer
// completed; otherwise `error` says why.
bool PostNotification(const std::string& url, const std::string& address,
                      const std::string& message, const PostLimits& limits,
                      std::string* error);

#endif  // NOTIFIER_POST_NOTIFICATION_H_
