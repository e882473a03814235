// veskor serve: the knowledge bases given on the command line as an HTTP/JSON service with a
// search page. SIGINT and SIGTERM stop it gracefully: no new connections, the requests already
// taken are answered, changed knowledge bases are saved, exit code 0.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "engine.h"
#include "failure.h"
#include "operations.h"
#include "serveHttp.h"
#include "serveService.h"

namespace veskorcli {
namespace {

struct ServeArguments {
  std::vector<std::string> knowledgeBases;
  std::string listen = "127.0.0.1:8080";
  bool readOnly = false;
  std::string tokenFile;
  int threads = 8;
  std::string wkbFile;
  std::string waFile;
  int saveEvery = 0;
};

// HOST:PORT, with an IPv6 host in brackets.
void parseListen(const std::string& listen, serve::HttpOptions& options) {
  const size_t colon = listen.rfind(':');
  const std::string port = colon == std::string::npos ? "" : listen.substr(colon + 1);
  const bool digits =
      !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
  if (colon == 0 || !digits || std::stoi(port) > 65535) {
    throw usageError("--listen " + listen +
                     ": expected HOST:PORT, e.g. 127.0.0.1:8080 (port 0: any free port)");
  }
  options.host = listen.substr(0, colon);
  options.port = std::stoi(port);
}

// The token is the file's first line; it must be something a client can send in a header.
std::string readToken(const std::string& fileName) {
  std::string token = readFileBytes(fileName);
  const size_t end = token.find_first_of("\r\n");
  if (end != std::string::npos) token.erase(end);
  while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.pop_back();
  if (token.empty()) throw fileError(fileName + ": the token file is empty");
  for (const char c : token) {
    if (c <= ' ' || c == 0x7F) {
      throw fileError(fileName + ": the token may hold only visible ASCII characters, no blanks");
    }
  }
  return token;
}

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void run(const GlobalOptions& global, const ServeArguments& args) {
  serve::HttpOptions http;
  parseListen(args.listen, http);
  http.readOnly = args.readOnly;
  http.threads = args.threads;
  if (!args.tokenFile.empty()) http.token = readToken(args.tokenFile);

  serve::ServiceOptions options;
  options.knowledgeBases = args.knowledgeBases;
  options.wkbFile = args.wkbFile;
  options.waFile = args.waFile;
  options.lossy = global.lossy;

  // The stop signals are taken by sigtimedwait below, so every thread started from here on
  // inherits a mask that blocks them; a peer that goes away must not end the process either.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // Text at the HTTP edge is always UTF-8.
  const Engine engine(TextCodec(Encoding::utf8, global.lossy), global.verbose);
  serve::Service service(engine, options);
  serve::HttpServer server(service, http);
  const int port = server.bind();

  for (const serve::ServedKb* kb : service.served()) {
    say("serving " + kb->name + " (" + kbKindName(kb->kind) + ") from " + kb->file);
  }
  if (!serve::isLoopback(http.host)) {
    std::fprintf(stderr, "veskor: listening on %s, which other machines may reach\n", http.host.c_str());
  }
  std::string mode;
  if (args.readOnly)
    mode = " (read-only)";
  else if (!http.token.empty())
    mode = " (changes need the token)";
  say("listening on http://" + http.host + ":" + std::to_string(port) + mode);

  std::atomic<bool> listening{true};
  bool accepted = true;
  std::thread listener([&] {
    accepted = server.run();
    listening = false;
  });

  using Clock = std::chrono::steady_clock;
  auto nextSave = Clock::now() + std::chrono::seconds(args.saveEvery);
  const auto report = [](const std::string& line) { say(line); };
  int signalNumber = 0;
  while (listening) {
    const timespec wait{0, 200'000'000};
    const int taken = sigtimedwait(&stopSignals, nullptr, &wait);
    if (taken == SIGINT || taken == SIGTERM) {
      signalNumber = taken;
      break;
    }
    if (args.saveEvery > 0 && Clock::now() >= nextSave) {
      service.saveChanged(engine, report);
      nextSave = Clock::now() + std::chrono::seconds(args.saveEvery);
    }
  }
  if (signalNumber != 0) say(std::string("stopping on ") + (signalNumber == SIGINT ? "SIGINT" : "SIGTERM"));
  while (listening) {
    server.stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  listener.join();
  const bool saved = service.saveChanged(engine, report);
  if (!accepted && signalNumber == 0) throw fileError("accepting connections failed");
  if (!saved) throw Failure(exitEngine, "not every change could be saved");
  say("stopped");
}

}  // namespace

void addServeCommand(CLI::App& app, const GlobalOptions& options) {
  CLI::App* cmd = app.add_subcommand(
      "serve",
      "Serve knowledge bases over HTTP/JSON with a search page; SIGINT/SIGTERM save changes and stop");
  auto args = std::make_shared<ServeArguments>();
  cmd->add_option(
         "KB", args->knowledgeBases,
         "Knowledge-base files to serve, each under its file name without extension, or as NAME=FILE")
      ->required();
  cmd->add_option("--listen", args->listen, "HOST:PORT to listen on (port 0: any free port)")
      ->capture_default_str();
  auto* readOnly = cmd->add_flag("--read-only", args->readOnly, "Refuse every change");
  cmd->add_option("--token-file", args->tokenFile,
                  "File whose first line is the token that changes must bring (Authorization: Bearer TOKEN)");
  cmd->add_option("--threads", args->threads, "Worker threads, each with its own engine connection")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  cmd->add_option("--wkb", args->wkbFile, "Word knowledge base for similar words (default: none)");
  cmd->add_option("--wa", args->waFile, "Word-associator file (lets finds ask for associate=true)");
  cmd->add_option("--save-every", args->saveEvery, "Save changed knowledge bases every SECONDS")
      ->check(CLI::Range(1, 86400))
      ->excludes(readOnly);
  cmd->callback([&options, args] { run(options, *args); });
}

}  // namespace veskorcli
