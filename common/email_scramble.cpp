#include "common/email_scramble.h"

std::string ScrambleEmail(const std::string& address) {
  std::string out = address;
  for (char& c : out) c = char(uint8_t(uint8_t(c) + kEmailOffset));
  return out;
}

std::string UnscrambleEmail(const std::string& stored) {
  std::string out = stored;
  for (char& c : out) c = char(uint8_t(uint8_t(c) - kEmailOffset));
  return out;
}
