// Orbeline --check: reads the configuration as the server would and tries
// what the server will need, one line per problem on `out` and exit status
// 1, or the one line "OK" and 0. Changes nothing; connects only to the
// activity database and the notification endpoint, and listens on no port
// longer than it takes to see that it is free.
//
// The owners and modes are the package's: the install folder and Logs/
// belong to the service's account (`quorvane` where it exists, otherwise
// whoever runs the check), neither is open to others, and a Logs/ its group
// may write is sticky.
#ifndef SERVER_SERVICE_SELF_CHECK_H_
#define SERVER_SERVICE_SELF_CHECK_H_

#include <ostream>
#include <string>
#include <vector>

inline constexpr char kServiceAccount[] = "quorvane";

// The problems found; empty when all is well.
std::vector<std::string> SelfCheckProblems();

// Writes the problems or "OK"; the exit status.
int RunSelfCheck(std::ostream& out);

#endif  // SERVER_SERVICE_SELF_CHECK_H_
