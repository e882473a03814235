// Runs the veskor binary as a child process in a given directory, feeding standard input and
// collecting standard output, standard error and the exit code.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace clitest {

struct ToolResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline ToolResult runTool(const std::vector<std::string>& args, const std::string& directory,
                          const std::string& input = "") {
  signal(SIGPIPE, SIG_IGN);  // a child that exits before reading all input must not kill the test
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (chdir(directory.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    std::string program = VESKOR_CLI;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // Feed the input and drain both outputs together, so that no pipe fills up and blocks the child.
  ToolResult result;
  size_t written = 0;
  if (input.empty()) close(in[1]);
  bool inputOpen = !input.empty(), outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    std::vector<pollfd> fds;
    if (outOpen) fds.push_back({out[0], POLLIN, 0});
    if (errOpen) fds.push_back({err[0], POLLIN, 0});
    if (inputOpen) fds.push_back({in[1], POLLOUT, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) throw std::runtime_error("poll failed");
    for (const pollfd& fd : fds) {
      if (fd.revents == 0) continue;
      if (fd.fd == in[1]) {
        const ssize_t n = write(in[1], input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        if (n <= 0 || written == input.size()) {
          close(in[1]);
          inputOpen = false;
        }
        continue;
      }
      char buffer[4096];
      const ssize_t n = read(fd.fd, buffer, sizeof buffer);
      std::string& target = fd.fd == out[0] ? result.out : result.err;
      if (n > 0) {
        target.append(buffer, static_cast<size_t>(n));
      } else {
        close(fd.fd);
        (fd.fd == out[0] ? outOpen : errOpen) = false;
      }
    }
  }
  if (inputOpen) close(in[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace clitest
