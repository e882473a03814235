// The HTTP side of `veskor serve`: routes, the safety rules every request passes, JSON errors,
// metrics and the page.
#pragma once

#include <memory>
#include <string>

#include "serveMetrics.h"
#include "serveService.h"

namespace veskorcli::serve {

struct HttpOptions {
  std::string host = "127.0.0.1";
  int port = 8080;  // 0: any free port
  bool readOnly = false;
  std::string token;  // empty: changes need no token
  int threads = 8;
};

// Whether host names this machine's loopback interface (127.0.0.0/8, ::1, localhost).
bool isLoopback(const std::string& host);

class HttpServer {
 public:
  HttpServer(Service& service, const HttpOptions& options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds the listening socket and returns its port; a Failure when that is not possible.
  int bind();
  // Accepts and answers requests until stop(); false when accepting failed.
  bool run();
  // Stops accepting; run() returns once the requests already taken are answered. Has no effect
  // before run() has started accepting, so callers repeat it until run() has returned.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veskorcli::serve
