// `veskor serve` as a child process on a free loopback port: started in a directory, its output
// written to files there, asked through real HTTP, stopped by a signal (and killed if a test
// leaves it running).
#pragma once

#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/tempDir.h"

namespace servetest {

class ServeProcess {
 public:
  // Starts `veskor serve ARGS --listen 127.0.0.1:0` in directory and waits for its port.
  ServeProcess(const std::string& directory, const std::vector<std::string>& args) : directory_(directory) {
    std::vector<std::string> all = {"serve"};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--listen", "127.0.0.1:0"});
    pid_ = start(all);
    const std::regex listening(R"(listening on http://127\.0\.0\.1:(\d+))");
    for (int waited = 0; waited < 30000; waited += 20) {
      std::smatch match;
      const std::string out = output();
      if (std::regex_search(out, match, listening)) {
        port_ = std::stoi(match[1]);
        return;
      }
      if (exited()) throw std::runtime_error("veskor serve ended at start: " + errors());
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    throw std::runtime_error("veskor serve did not start listening: " + errors());
  }
  ~ServeProcess() {
    if (pid_ > 0 && !exited()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  int port() const { return port_; }
  std::unique_ptr<httplib::Client> client() const {
    auto client = std::make_unique<httplib::Client>("127.0.0.1", port_);
    client->set_url_encode(false);
    client->set_tcp_nodelay(true);
    client->set_read_timeout(30, 0);
    return client;
  }
  std::string output() const { return veskortest::readFileBytes(directory_ + "/serve.out"); }
  std::string errors() const { return veskortest::readFileBytes(directory_ + "/serve.err"); }

  // Sends the signal and waits (at most 30 s) for the exit code.
  int stop(int signal = SIGTERM) {
    kill(pid_, signal);
    for (int waited = 0; waited < 30000; waited += 10) {
      if (exited()) return exitCode_;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error("veskor serve did not stop within 30 s");
  }

  // Runs `veskor serve ARGS` expecting it to fail at start; returns its exit code.
  static int failingStart(const std::string& directory, const std::vector<std::string>& args,
                          std::string& errors) {
    ServeProcess process(directory);
    std::vector<std::string> all = {"serve"};
    all.insert(all.end(), args.begin(), args.end());
    process.pid_ = process.start(all);
    for (int waited = 0; waited < 30000 && !process.exited(); waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    errors = process.errors();
    if (!process.exited()) throw std::runtime_error("veskor serve started although it should not");
    return process.exitCode_;
  }

 private:
  explicit ServeProcess(const std::string& directory) : directory_(directory) {}

  pid_t start(const std::vector<std::string>& args) {
    // Emptied before the child starts, so that no earlier run's output is taken for this one's.
    veskortest::writeFileBytes(directory_ + "/serve.out", "");
    veskortest::writeFileBytes(directory_ + "/serve.err", "");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      // The service never outlives a test that dies before stopping it.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
#ifdef VESKOR_TSAN_SUPPRESSIONS
      const char* tsan = getenv("TSAN_OPTIONS");
      const std::string options =
          std::string(tsan ? tsan : "") + ":suppressions=" + VESKOR_TSAN_SUPPRESSIONS;
      setenv("TSAN_OPTIONS", options.c_str(), 1);
#endif
      if (chdir(directory_.c_str()) != 0) _exit(126);
      const int out = open("serve.out", O_WRONLY | O_APPEND);
      const int err = open("serve.err", O_WRONLY | O_APPEND);
      if (out < 0 || err < 0) _exit(126);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      std::vector<char*> argv;
      std::string program = VESKOR_CLI;
      argv.push_back(program.data());
      std::vector<std::string> copies(args);
      for (std::string& arg : copies) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }

  bool exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return true;
  }

  std::string directory_;
  pid_t pid_ = -1;
  int port_ = 0;
  int exitCode_ = -1;
};

}  // namespace servetest
