// Reading the database tool's list of contacts (its mode-7 output).
#ifndef SERVER_BASE_CONTACT_LIST_H_
#define SERVER_BASE_CONTACT_LIST_H_

#include <string_view>
#include <vector>

#include "server/base/ip_log_files.h"

// One row per line that ends in a line feed: user, IP address and computer
// each end at the next comma (a run of commas is one separator; commas in
// front of a value are skipped); the status is the rest of the line with
// trailing white space removed. A line with too few commas, or with a value
// that fails LineTextProblem (the tool lists only values that pass, but a
// store kept by an older one may hold others), is skipped whole, and text after the last line feed
// is ignored.
std::vector<IpLogRow> ParseContactList(std::string_view output);

#endif  // SERVER_BASE_CONTACT_LIST_H_
