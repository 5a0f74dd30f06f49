#include "server/db/scan_web_by_user.h"

void ScanWebByUser(ActivityBackend& backend, int64_t from, int64_t to,
                   const std::function<void(std::string_view url, int64_t size)>& row,
                   const std::function<void(std::optional<int64_t> user)>& user_done) {
  bool started = false;
  std::optional<int64_t> current;  // the user whose rows come (once started)
  backend.ScanWebOfPeriod(from, to,
                          [&](std::optional<int64_t> user, std::string_view url, int64_t size) {
                            if (started && current != user) user_done(current);
                            started = true;
                            current = user;
                            row(url, size);
                          });
  if (started) user_done(current);
}
