// Times a whole process, for the benchmark's comparison of `dodevuz get`
// with other programs: runs a command several times, without a shell, its
// standard input from a file and its output discarded, and prints the median
// wall time, the median processor time (user + system, from the child's
// resource usage, in microseconds) and the largest peak memory as key=value
// lines.
//
//   dodevuz-bench-run [--runs N] [--warmup N] [--stdin FILE] -- COMMAND ARGS...
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "dodevuz-bench-run: %s\n", what.c_str());
  std::exit(1);
}

struct Run {
  double wall_us, cpu_us;
  long peak_kib;
};

Run run_once(char** command, const std::string& input) {
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child < 0) fail("cannot fork");
  if (child == 0) {
    int in = input.empty() ? open("/dev/null", O_RDONLY) : open(input.c_str(), O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    execvp(command[0], command);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child) fail("lost the child");
  auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fail(std::string(command[0]) + " failed (status " + std::to_string(status) + ")");
  }
  auto micros = [](const timeval& t) { return t.tv_sec * 1e6 + t.tv_usec; };
  return {std::chrono::duration<double, std::micro>(end - start).count(),
          micros(usage.ru_utime) + micros(usage.ru_stime), usage.ru_maxrss};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 20, warmup = 3;
  std::string input;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") {
      ++i;
      break;
    }
    if (i + 1 >= argc) fail("missing value after " + a);
    if (a == "--runs")
      runs = std::max(1, std::atoi(argv[++i]));
    else if (a == "--warmup")
      warmup = std::max(0, std::atoi(argv[++i]));
    else if (a == "--stdin")
      input = argv[++i];
    else
      fail("unknown argument " + a);
  }
  if (i >= argc) fail("usage: [--runs N] [--warmup N] [--stdin FILE] -- COMMAND ARGS...");
  char** command = argv + i;
  for (int w = 0; w < warmup; ++w) run_once(command, input);
  std::vector<double> wall, cpu;
  long peak = 0;
  for (int r = 0; r < runs; ++r) {
    Run run = run_once(command, input);
    wall.push_back(run.wall_us);
    cpu.push_back(run.cpu_us);
    peak = std::max(peak, run.peak_kib);
  }
  std::printf("wall_us=%.1f\ncpu_us=%.1f\npeak_kib=%ld\n", median(wall), median(cpu), peak);
  return 0;
}
