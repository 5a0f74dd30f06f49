// ExtractContactInfo: takes the user name, computer name and IP address out
// of an agent's report text. Pure function; any thread.
#ifndef SERVER_FORMATS_EXTRACT_CONTACT_INFO_H_
#define SERVER_FORMATS_EXTRACT_CONTACT_INFO_H_

#include <string>

// Each value follows an opening of fixed width (6, 10 and 4 bytes, read
// unchecked) and ends at its closing tag "</user>", "</computer>", "</ip>".
// Values are set in that order until a closing tag is missing; a value not
// reached keeps what the caller passed in. Returns how many values were set
// (0 to 3). Throws only what copying a value may (std::bad_alloc); the
// values set before stay set.
int ExtractContactInfo(const std::string& text, std::string& user, std::string& computer,
                       std::string& ip);

#endif  // SERVER_FORMATS_EXTRACT_CONTACT_INFO_H_
