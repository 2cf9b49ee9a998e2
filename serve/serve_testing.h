// What the tests of `dodevuz serve` share: a raw connection, one raw HTTP
// exchange, and the server started as a process of its own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/testing.h"

namespace serve_testing {

// A socket connected to the server at port on 127.0.0.1, or -1.
inline int connect_to(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// What the server sends on fd before it closes the connection (or `wait`
// passes).
inline std::string read_answer(int fd, std::chrono::milliseconds wait = std::chrono::seconds(5)) {
  std::string answer;
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<size_t>(n));
  }
  return answer;
}

// One raw HTTP exchange: sends request as it stands and returns what the
// server sends back before it closes the connection (or `wait` passes).
inline std::string http_exchange(int port, const std::string& request,
                                 std::chrono::milliseconds wait = std::chrono::seconds(5)) {
  int fd = connect_to(port);
  if (fd < 0) return "(no connection)";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer = read_answer(fd, wait);
  close(fd);
  return answer;
}

inline int status_of(const std::string& answer) {
  std::smatch m;
  static const std::regex status_line("^HTTP/1\\.1 (\\d{3}) ");
  return std::regex_search(answer, m, status_line) ? std::stoi(m[1]) : 0;
}

// `dodevuz serve` started as its users start it, optionally under strace.
struct ServerProcess {
  pid_t pid = -1;
  FILE* output = nullptr;
  int port = 0;

  bool start(const std::vector<std::string>& prefix, const std::string& directory) {
    int out[2];
    if (pipe(out) != 0) return false;
    pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      // The leak checker of a sanitizer build cannot run under a tracer.
      if (!prefix.empty()) setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      std::vector<std::string> args = prefix;
      for (const char* a : {DODEVUZ_BINARY_DIR "/dodevuz", "serve", "--port", "0", "-C"}) {
        args.emplace_back(a);
      }
      args.push_back(directory);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    output = fdopen(out[0], "r");
    char line[256] = {0};
    if (std::fgets(line, sizeof line, output) == nullptr) return false;
    std::cmatch m;
    if (!std::regex_search(line, m, std::regex("http://127\\.0\\.0\\.1:(\\d+)/"))) return false;
    port = std::stoi(m[1]);
    return true;
  }

  // A figure of the server's /proc/PID/status in kB ("VmHWM:" its peak
  // resident memory, "VmRSS:" its present), 0 when it cannot be read.
  long status_kb(const std::string& field) const {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
    }
    return 0;
  }

  // Sends signal to the server (not to a tracer before it) and returns the
  // exit status, or -1 when it did not end within five seconds (the whole
  // group is then killed).
  int stop(int signal_number) {
    pid_t server = pid;
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                           "/children");
    if (pid_t child; children >> child) server = child;
    kill(server, signal_number);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        std::fclose(output);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
    std::fclose(output);
    return -1;
  }
};

}  // namespace serve_testing
