#include "notifier/post_notification.h"

#include <curl/curl.h>

#include <memory>

namespace {

struct CurlCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

// Only the endpoint's status counts: accept every chunk of the body and
// drop it.
size_t DiscardResponse(char*, size_t size, size_t count, void*) { return size * count; }

bool g_transport_ready = false;

bool IsHttps(const std::string& url) { return url.starts_with("https://"); }

// Checks that libcurl would make anyway, set here so that no build or
// environment default can turn them off; the scheme is pinned, so the URL
// can never reach another protocol.
bool ConfigureTrust(CURL* curl, const std::string& url, const PostTrust& trust) {
  if (!IsHttps(url)) return curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http") == CURLE_OK;
  bool ok = curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  if (!ok || trust.ca_file.empty()) return ok;
  // The named file alone: the system's CA folder is left out.
  return curl_easy_setopt(curl, CURLOPT_CAINFO, trust.ca_file.c_str()) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr) == CURLE_OK;
}

// libcurl's messages are single lines; this keeps the caller's one line
// whatever a TLS library puts into them.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool Configure(CURL* curl, const std::string& url, const std::string& body,
               const PostLimits& limits, const PostTrust& trust, char* error_buffer) {
  return curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_buffer) == CURLE_OK &&
         ConfigureTrust(curl, url, trust) &&
         curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data()) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                          static_cast<curl_off_t>(body.size())) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, DiscardResponse) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L) == CURLE_OK &&
         // Without these a dead endpoint would hold the report scheduler,
         // which waits for this program, for ever.
         curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connect_seconds) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits.total_seconds) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
}

}  // namespace

void InitNotificationTransport() {
  g_transport_ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

std::string NotificationBody(const std::string& address, const std::string& message) {
  return "name=" + message + "&userid=" + address;
}

bool PostNotification(const std::string& url, const std::string& address,
                      const std::string& message, const PostLimits& limits, const PostTrust& trust,
                      long* http_status, std::string* error) {
  if (!g_transport_ready) {
    *error = "the HTTP library could not be initialised";
    return false;
  }
  CurlHandle curl(curl_easy_init());
  if (!curl) {
    *error = "no HTTP transfer handle could be had";
    return false;
  }
  const std::string body = NotificationBody(address, message);
  char error_buffer[CURL_ERROR_SIZE] = "";
  if (!Configure(curl.get(), url, body, limits, trust, error_buffer)) {
    *error = "the HTTP transfer could not be set up";
    return false;
  }
  CURLcode result = curl_easy_perform(curl.get());
  if (result != CURLE_OK) {
    *error = OneLine(error_buffer[0] ? error_buffer : curl_easy_strerror(result));
    return false;
  }
  *http_status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, http_status);
  return true;
}
