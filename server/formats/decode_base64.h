// Base64 decoding of one line of a request file or of the filter log.
// Pure functions; any thread.
#ifndef SERVER_FORMATS_DECODE_BASE64_H_
#define SERVER_FORMATS_DECODE_BASE64_H_

#include <string>
#include <string_view>

// Decodes the standard alphabet (RFC 4648 section 4) from the front of
// `input`, where "=" counts as the value 0. Decoding stops at the first
// byte of value 0x80 or above (status 1) or the first other character
// outside the alphabet, the end of `input` included (status 2); an
// unfinished group of one to three characters is dropped (status 3). An
// empty input gives status 0. `output` is replaced by the decoded bytes,
// which may contain zero bytes (a padded group ends in them); it grows as
// needed.
int DecodeBase64(std::string* output, std::string_view input);

// The decoded line read as text: the decoded bytes up to the first zero.
std::string DecodeBase64Text(std::string_view input);
// The same, decoded into `buffer` (reused from line to line, so a million
// lines cost no million allocations); the text lives as long as `buffer`
// is not changed.
std::string_view DecodeBase64Text(std::string_view input, std::string* buffer);

#endif  // SERVER_FORMATS_DECODE_BASE64_H_
