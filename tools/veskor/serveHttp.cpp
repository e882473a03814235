#include "serveHttp.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <new>

#include "failure.h"
#include "servePage.h"

namespace veskorcli::serve {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// What the logger needs of the request the worker thread is answering: the logger runs in the
// same thread once the answer is sent.
struct RequestTrace {
  Clock::time_point start;
  bool started = false;
  const char* endpoint = "other";
};
thread_local RequestTrace trace;

enum class Access { read, change };

void sendJson(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace) + "\n", "application/json");
}

// Equal texts, in a time that does not depend on where they differ.
bool sameSecret(const std::string& given, const std::string& expected) {
  if (expected.empty()) return given.empty();
  unsigned char difference = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
  }
  return difference == 0;
}

bool startsWithCaseless(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

std::string defaultMessage(const httplib::Request& req, int status, size_t maxBodyBytes) {
  switch (status) {
    case 404:
      return "no such endpoint: " + req.method + " " + req.path;
    case 413:
      return "the request body is larger than the limit of " + std::to_string(maxBodyBytes) + " bytes";
    case 414:
      return "the URL is longer than the limit";
    case 400:
      return "the request is not valid HTTP";
    default:
      return "the request was not answered (HTTP status " + std::to_string(status) + ")";
  }
}

}  // namespace

bool isLoopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host == "[::1]" || host.starts_with("127.");
}

// The library listens with a backlog of 5: more clients connecting at once would see their
// connections dropped and retried a second later. Listening again on the socket widens it.
class Server : public httplib::Server {
 public:
  void widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

struct HttpServer::Impl {
  Impl(Service& service, const HttpOptions& options) : service(service), options(options) {}

  Service& service;
  HttpOptions options;
  Metrics metrics;
  Server server;
  int port = 0;

  void setUp();
  template <class Body>
  httplib::Server::Handler route(const char* endpoint, Access access, Body body);
  void checkHost(const httplib::Request& req) const;
  void checkChange(const httplib::Request& req) const;
};

void HttpServer::Impl::checkHost(const httplib::Request& req) const {
  // A page elsewhere could reach a loopback service under its own host name (DNS rebinding);
  // requests that name another host are not for this service.
  if (!isLoopback(options.host)) return;
  const std::string host = req.get_header_value("Host");
  const std::string suffix = ":" + std::to_string(port);
  for (const std::string& name :
       {options.host, std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]")}) {
    if (host == name + suffix || (port == 80 && host == name)) return;
  }
  throw RequestError(403, "the Host header does not name this service");
}

void HttpServer::Impl::checkChange(const httplib::Request& req) const {
  if (options.readOnly) throw RequestError(403, "the service is read-only");
  if (!options.token.empty()) {
    const std::string authorization = req.get_header_value("Authorization");
    const std::string bearer = "Bearer ";
    if (!authorization.starts_with(bearer) ||
        !sameSecret(authorization.substr(bearer.size()), options.token)) {
      throw RequestError(401, "changes need the service's token (Authorization: Bearer TOKEN)");
    }
  }
  // Browsers name the page's origin on every cross-site POST and DELETE.
  if (req.has_header("Origin") &&
      req.get_header_value("Origin") != "http://" + req.get_header_value("Host")) {
    throw RequestError(403, "requests from other sites may not change knowledge bases");
  }
}

template <class Body>
httplib::Server::Handler HttpServer::Impl::route(const char* endpoint, Access access, Body body) {
  return [this, endpoint, access, body](const httplib::Request& req, httplib::Response& res) {
    trace.endpoint = endpoint;
    try {
      if (access == Access::change) checkChange(req);
      if (req.method == "POST" && !req.body.empty() &&
          !startsWithCaseless(req.get_header_value("Content-Type"), "application/json")) {
        throw RequestError(415, "the body must be JSON (Content-Type: application/json)");
      }
      sendJson(res, 200, body(req));
    } catch (const RequestError& error) {
      sendJson(res, error.httpStatus(), errorBody(error.what(), error.details()));
      if (error.httpStatus() == 401) res.set_header("WWW-Authenticate", "Bearer");
    } catch (const EngineFailure& failure) {
      sendJson(res, httpStatusForEngineStatus(failure.status()),
               errorBody(failure.message(), {{"engineStatus", failure.status()}}));
    } catch (const std::bad_alloc&) {
      sendJson(res, 503, errorBody("out of memory"));
    } catch (const std::exception& error) {
      sendJson(res, 500, errorBody(error.what()));
    }
  };
}

void HttpServer::Impl::setUp() {
  const size_t maxBodyBytes = service.limits().maxBodyBytes;
  const int threads = options.threads;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
  server.set_payload_max_length(maxBodyBytes);
  // Idle connections hold a worker; a short wait keeps workers free and a stop quick.
  server.set_keep_alive_timeout(2);
  server.set_keep_alive_max_count(1000);
  // Answers are small and go out in one write; waiting to coalesce them only adds delay.
  server.set_tcp_nodelay(true);
  server.set_default_headers({{"X-Content-Type-Options", "nosniff"}, {"Cache-Control", "no-store"}});

  server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    trace = {Clock::now(), true, "other"};
    try {
      checkHost(req);
    } catch (const RequestError& error) {
      sendJson(res, error.httpStatus(), errorBody(error.what()));
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // Answers that the library itself makes (unknown paths, bodies over the limit) are JSON too.
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [maxBodyBytes](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        json details = json::object();
        if (res.status == 413) details["limit"] = {{"name", "body"}, {"maximum", maxBodyBytes}};
        sendJson(res, res.status, errorBody(defaultMessage(req, res.status, maxBodyBytes), details));
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_logger([this](const httplib::Request&, const httplib::Response& res) {
    const double seconds =
        trace.started ? std::chrono::duration<double>(Clock::now() - trace.start).count() : -1.0;
    metrics.record(trace.endpoint, res.status, seconds);
    trace = {};
  });

  server.Get("/", [](const httplib::Request&, httplib::Response& res) {
    trace.endpoint = "page";
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                   "connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'");
    res.set_content(servePage(), "text/html; charset=utf-8");
  });
  server.Get("/health", route("health", Access::read, [](const httplib::Request&) {
               return json{{"status", "ok"}};
             }));
  server.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
    trace.endpoint = "metrics";
    res.set_content(metrics.text() + service.kbMetrics(), "text/plain; version=0.0.4; charset=utf-8");
  });
  server.Get("/v1/kbs",
             route("kbs", Access::read, [this](const httplib::Request&) { return service.listKbs(); }));
  server.Get(R"(/v1/kbs/([^/]+))", route("kb", Access::read, [this](const httplib::Request& req) {
               return service.describeKb(req.matches[1]);
             }));
  server.Get(R"(/v1/kbs/([^/]+)/find)", route("find", Access::read, [this](const httplib::Request& req) {
               return service.find(req.matches[1], req.params);
             }));
  server.Post(R"(/v1/kbs/([^/]+)/compare)",
              route("compare", Access::read, [this](const httplib::Request& req) {
                return service.compare(req.matches[1], req.params, req.body);
              }));
  for (const bool documents : {false, true}) {
    const std::string collection = documents ? "documents" : "entries";
    server.Post("/v1/kbs/([^/]+)/" + collection,
                route(documents ? "add_documents" : "add_entries", Access::change,
                      [this, documents](const httplib::Request& req) {
                        return service.add(req.matches[1], req.body, documents);
                      }));
    server.Delete("/v1/kbs/([^/]+)/" + collection + "/(.+)",
                  route(documents ? "delete_document" : "delete_entry", Access::change,
                        [this, documents](const httplib::Request& req) {
                          return service.remove(req.matches[1], req.matches[2], documents);
                        }));
  }
  server.Post(R"(/v1/kbs/([^/]+)/save)", route("save", Access::change, [this](const httplib::Request& req) {
                return service.save(req.matches[1]);
              }));
}

HttpServer::HttpServer(Service& service, const HttpOptions& options)
    : impl_(std::make_unique<Impl>(service, options)) {
  impl_->setUp();
}

HttpServer::~HttpServer() = default;

int HttpServer::bind() {
  std::string host = impl_->options.host;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const int port = impl_->options.port == 0
                       ? impl_->server.bind_to_any_port(host)
                       : (impl_->server.bind_to_port(host, impl_->options.port) ? impl_->options.port : -1);
  if (port < 0) {
    throw fileError("cannot listen on " + impl_->options.host + ":" + std::to_string(impl_->options.port) +
                    " (address in use, or not this machine's?)");
  }
  impl_->server.widenBacklog();
  impl_->port = port;
  return port;
}

bool HttpServer::run() {
  return impl_->server.listen_after_bind();
}

void HttpServer::stop() {
  impl_->server.stop();
}

}  // namespace veskorcli::serve
