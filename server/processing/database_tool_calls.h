// The request worker's two calls of the database tool: handing it a
// contact (mode 6) and rewriting the IP log and the size file from its
// list of contacts (mode 7). Both wait until the tool has ended. Called on
// the request worker's thread (any thread may call them).
#ifndef SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_
#define SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_

#include <string>

// The mode-6 command line: ledgerix 6 "<user>" "<computer>" <ip>. When a
// value would not come back whole from that line (quotes, backslashes,
// blanks in the IP address, an empty IP address), every value is quoted so
// that the tool still receives exactly mode 6 and the three values.
std::string ContactCommandLine(const std::string& user, const std::string& computer,
                               const std::string& ip);

void RecordContactInfo(std::string user, std::string computer, std::string ip);

// When the tool cannot be started the previous files stay; otherwise both
// files are replaced whole (through WriteIpLogFiles) with the listed rows.
void RefreshIpLog();

#endif  // SERVER_PROCESSING_DATABASE_TOOL_CALLS_H_
