#include "server/monitoring/metrics_endpoint.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

#include "server/base/metrics.h"

namespace {

constexpr char kPath[] = "/metrics";
constexpr char kContentType[] = "text/plain; version=0.0.4; charset=utf-8";

MHD_Result Answer(MHD_Connection* connection, unsigned status, const std::string& body,
                  const char* content_type, const char* allow = nullptr) {
  MHD_Response* response = MHD_create_response_from_buffer(
      body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, content_type);
  if (allow) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allow);
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

// Answered at the first call, before any body: nothing a client sends is
// read beyond the request line and headers.
MHD_Result Handle(void*, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char*, size_t*, void**) {
  const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0;
  const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
  if (!get && !head)
    return Answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "only GET\n", "text/plain", "GET, HEAD");
  if (std::strcmp(url, kPath) != 0)
    return Answer(connection, MHD_HTTP_NOT_FOUND, "the metrics are at /metrics\n", "text/plain");
  return Answer(connection, MHD_HTTP_OK, RenderMetricsText(ProcessMetrics().Snapshot()),
                kContentType);
}

}  // namespace

bool MetricsEndpoint::Start(const Ipv4Endpoint& endpoint, std::string* error) {
  Stop();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = htonl(endpoint.address);
  errno = 0;
  daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO, endpoint.port, nullptr,
                             nullptr, &Handle, nullptr, MHD_OPTION_SOCK_ADDR,
                             reinterpret_cast<sockaddr*>(&address), MHD_OPTION_CONNECTION_LIMIT,
                             kMaxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, kMaxPerAddress,
                             MHD_OPTION_CONNECTION_TIMEOUT, kTimeoutSeconds,
                             MHD_OPTION_CONNECTION_MEMORY_LIMIT, kRequestMemory, MHD_OPTION_END);
  if (daemon_ != nullptr) return true;
  *error = errno ? std::strerror(errno) : "the HTTP server could not start";
  return false;
}

void MetricsEndpoint::Stop() {
  if (daemon_ == nullptr) return;
  MHD_stop_daemon(daemon_);
  daemon_ = nullptr;
}
