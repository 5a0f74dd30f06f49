// StatusLine: the one short line systemd shows for the service
// ("systemctl status VantryServer"), from the server's figures: what is
// wrong first, then the IP log, today's reports, the last night and the
// last reports sent. Times are local. Pure function; any thread.
#ifndef SERVER_MONITORING_STATUS_LINE_H_
#define SERVER_MONITORING_STATUS_LINE_H_

#include <cstdint>
#include <string>

#include "server/base/server_metrics.h"

// `reports_today`: agent reports queued since local midnight.
std::string StatusLine(const server_metrics::StatusFigures& figures, uint64_t reports_today);

// 12345 as "12,345".
std::string WithThousands(uint64_t n);

#endif  // SERVER_MONITORING_STATUS_LINE_H_
