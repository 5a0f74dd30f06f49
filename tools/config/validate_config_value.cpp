#include "tools/config/validate_config_value.h"

#include <optional>

#include "common/email_scramble.h"
#include "common/ipv4_address.h"
#include "common/ipv4_networks.h"
#include "platform/parse_digits.h"

namespace {

// A decimal number of at most nine digits; nothing else.
std::optional<uint32_t> ParseDecimal(std::string_view text) {
  if (text.size() > 9) return std::nullopt;
  return platform::ParseDigits<uint32_t>(text);
}

bool IsPortNumber(std::string_view text) {
  auto n = ParseDecimal(text);
  return n && *n >= 1 && *n <= 65535;
}

bool HasControlCharacter(std::string_view text) {
  for (char c : text)
    if (uint8_t(c) < 0x20 || c == 0x7f) return true;
  return false;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

bool CheckHour(const Setting& v, std::string_view input, std::string* error) {
  auto hour = ParseDecimal(input);
  if (!hour || *hour > 23)
    return Fail(error, std::string(v.name) + " must be an hour from 0 to 23, not " + Quoted(input));
  // The report scheduler compares the hour as text, so "09" would never match.
  if (input.size() > 1 && input[0] == '0')
    return Fail(error, std::string(v.name) + " must be written without a leading zero: use " +
                           Quoted(std::to_string(*hour)) + ", not " + Quoted(input));
  return true;
}

bool CheckFolder(const Setting& v, std::string_view input, std::string* error) {
  if (input.empty() || input[0] != '/' || HasControlCharacter(input))
    return Fail(error, std::string(v.name) +
                           " must be an absolute folder (starting with \"/\"), not " +
                           Quoted(input));
  return true;
}

bool CheckEmail(const Setting& v, std::string_view input, std::string* error) {
  if (input.empty()) return Fail(error, std::string(v.name) + " must not be empty");
  for (char c : input) {
    uint8_t byte = uint8_t(c);
    if (byte <= ' ' || byte == 0x7f)
      return Fail(error,
                  std::string(v.name) + " must be an address without blanks, not " + Quoted(input));
    // Raised by the offset this byte becomes a zero byte, which would cut the
    // stored text short; it never occurs in UTF-8 text.
    if (uint8_t(byte + kEmailOffset) == 0)
      return Fail(error,
                  std::string(v.name) + " holds a byte that cannot be stored: " + Quoted(input));
  }
  return true;
}

bool IsHostName(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool IsBracketedAddress(std::string_view host) {
  if (host.size() < 3 || host.front() != '[' || host.back() != ']') return false;
  for (char c : host.substr(1, host.size() - 2)) {
    bool ok = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') ||
              c == ':' || c == '.';
    if (!ok) return false;
  }
  return true;
}

// "https://" in front asks for HTTPS; without it the endpoint is plain HTTP.
bool CheckHost(const Setting& v, std::string_view input, std::string* error) {
  std::string_view authority = input;
  if (authority.starts_with(kHttpsPrefix)) authority.remove_prefix(kHttpsPrefix.size());
  std::string_view host = authority;
  size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    host = authority.substr(0, colon);
    if (!IsPortNumber(authority.substr(colon + 1))) host = "";
  }
  if (IsHostName(host) || IsBracketedAddress(host)) return true;
  return Fail(error, std::string(v.name) +
                         " must be host or host:port (port 1 to 65535), with https:// in front "
                         "for HTTPS, not " +
                         Quoted(input));
}

// Empty stands for the system's choice.
bool CheckFile(const Setting& v, std::string_view input, std::string* error) {
  if (input.empty() || (input[0] == '/' && input.back() != '/' && !HasControlCharacter(input)))
    return true;
  return Fail(error, std::string(v.name) + " must be an absolute file path, or empty, not " +
                         Quoted(input));
}

// Empty stands for all addresses.
bool CheckAddress(const Setting& v, std::string_view input, std::string* error) {
  if (input.empty() || ParseIpv4Address(input)) return true;
  return Fail(error, std::string(v.name) +
                         " must be an IPv4 address such as 192.168.0.1, or empty, not " +
                         Quoted(input));
}

// Empty stands for every network. The server refuses every agent while the
// stored list does not parse, so a bad list must never be stored.
bool CheckNetworks(const Setting& v, std::string_view input, std::string* error) {
  if (ParseIpv4Networks(input)) return true;
  return Fail(error, std::string(v.name) +
                         " must be IPv4 networks such as 192.168.0.0/16,10.1.0.0/24 (no bits set "
                         "after the prefix), or empty, not " +
                         Quoted(input));
}

// Empty turns the feature off.
bool CheckEndpoint(const Setting& v, std::string_view input, std::string* error) {
  if (input.empty() || ParseIpv4Endpoint(input)) return true;
  return Fail(error, std::string(v.name) +
                         " must be an IPv4 address and a port such as 127.0.0.1:9464, or empty, "
                         "not " +
                         Quoted(input));
}

// The client library parses the text when it connects and says there what
// is wrong; here only what can never be a connection string is refused.
bool CheckConnection(const Setting& v, std::string_view input, std::string* error) {
  for (char c : input) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      return Fail(error, std::string(v.name) +
                             " must be a PostgreSQL connection string on one line (host=... "
                             "dbname=... or postgresql://...), or empty");
  }
  return true;
}

}  // namespace

bool ValidateConfigValue(const Setting& value, std::string_view input, platform::RegValue* stored,
                         std::string* error) {
  switch (value.kind) {
    case SettingKind::kPort:
      if (!IsPortNumber(input))
        return Fail(error, std::string(value.name) +
                               " must be a port number from 1 to 65535, not " + Quoted(input));
      *stored = platform::RegValue::Dword(*ParseDecimal(input));
      return true;
    case SettingKind::kSwitch:
      if (input != "0" && input != "1")
        return Fail(error,
                    std::string(value.name) + " must be 0 (off) or 1 (on), not " + Quoted(input));
      *stored = platform::RegValue::Dword(input == "1" ? 1 : 0);
      return true;
    case SettingKind::kCount:
    case SettingKind::kCountOrOff: {
      const uint32_t least = value.kind == SettingKind::kCount ? 1 : 0;
      auto n = ParseDecimal(input);
      if (!n || *n < least || *n > 100000)
        return Fail(error, std::string(value.name) + " must be a whole number from " +
                               std::to_string(least) + " to 100000, not " + Quoted(input));
      *stored = platform::RegValue::Dword(*n);
      return true;
    }
    case SettingKind::kHour:
      if (!CheckHour(value, input, error)) return false;
      *stored = platform::RegValue::String(input);
      return true;
    case SettingKind::kFolder:
      if (!CheckFolder(value, input, error)) return false;
      *stored = platform::RegValue::String(input.back() == '/' ? std::string(input)
                                                               : std::string(input) + "/");
      return true;
    case SettingKind::kEmail:
      if (!CheckEmail(value, input, error)) return false;
      *stored = platform::RegValue::String(ScrambleEmail(std::string(input)));
      return true;
    case SettingKind::kHost:
      if (!CheckHost(value, input, error)) return false;
      *stored = platform::RegValue::String(input);
      return true;
    case SettingKind::kAddress:
      if (!CheckAddress(value, input, error)) return false;
      *stored = platform::RegValue::String(input);
      return true;
    case SettingKind::kNetworks:
      if (!CheckNetworks(value, input, error)) return false;
      *stored = platform::RegValue::String(input);
      return true;
    case SettingKind::kConnection:
      if (!CheckConnection(value, input, error)) return false;
      *stored = platform::RegValue::String(input);
      return true;
    case SettingKind::kEndpoint:
      if (!CheckEndpoint(value, input, error)) return false;
      *stored = platform::RegValue::String(input);
      return true;
    case SettingKind::kFile:
      if (!CheckFile(value, input, error)) return false;
      *stored = platform::RegValue::String(input);
      return true;
  }
  return Fail(error, "unknown kind of value");
}
