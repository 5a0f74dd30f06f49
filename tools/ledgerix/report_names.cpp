#include "tools/ledgerix/report_names.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <stdexcept>

#include "platform/secret_file.h"

namespace {

constexpr size_t kKeyBytes = 32;
constexpr size_t kPseudonymDigits = 8;
const char kHex[] = "0123456789abcdef";

std::string Hex(const unsigned char* bytes, size_t n) {
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 15];
  }
  return text;
}

std::string NewKeyText() {
  unsigned char key[kKeyBytes];
  if (RAND_bytes(key, sizeof key) != 1) throw std::runtime_error("no random bytes for a key");
  return Hex(key, sizeof key) + "\n";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The key bytes of the file's text; empty when it holds no key.
std::string KeyOf(const std::string& text) {
  std::string key;
  if (text.size() < 2 * kKeyBytes) return key;
  for (size_t i = 0; i < 2 * kKeyBytes; i += 2) {
    int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return {};
    key += static_cast<char>(high * 16 + low);
  }
  return key;
}

}  // namespace

std::optional<ReportNames> ReportNames::WithPseudonyms(const std::string& install_path,
                                                       std::string* error) {
  const std::string path = install_path + kKeyFileName;
  std::optional<std::string> text = platform::ReadOrMakeSecretFile(path, NewKeyText, error);
  if (!text) return std::nullopt;
  std::string key = KeyOf(*text);
  if (key.empty()) {
    *error = path + " holds no key (64 hex digits)";
    return std::nullopt;
  }
  return ReportNames(std::move(key));
}

std::string ReportNames::Pseudonym(const std::string& name) const {
  if (name.empty()) return name;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
            reinterpret_cast<const unsigned char*>(name.data()), name.size(), digest, &length))
    throw std::runtime_error("HMAC-SHA256 failed");
  return "user-" + Hex(digest, kPseudonymDigits / 2);
}

std::string ReportNames::ShowName(const std::string& name) const {
  return withheld() ? Pseudonym(name) : name;
}

UserLabel ReportNames::Show(const UserLabel& user) const {
  if (!withheld()) return user;
  return {Pseudonym(user.name), "", ""};
}
