// The stored form of "EmailAddress": every byte raised by a fixed offset,
// modulo 256. The configuration tool scrambles, the report scheduler
// unscrambles; both use these two functions.
#ifndef COMMON_EMAIL_SCRAMBLE_H_
#define COMMON_EMAIL_SCRAMBLE_H_

#include <cstdint>
#include <string>

inline constexpr uint8_t kEmailOffset = 7;

std::string ScrambleEmail(const std::string& address);
std::string UnscrambleEmail(const std::string& stored);

#endif  // COMMON_EMAIL_SCRAMBLE_H_
