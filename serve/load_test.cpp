// `dodevuz serve` under load and abuse, as its own process on loopback:
// slow clients beside a normal one, bodies over the bound in every framing,
// the bounds of heads and connections, and 100 clients at once. Every probe
// is bounded in count and time and stops by itself. Timings are printed,
// not asserted, but for the deadline: no request waits on a stalled client
// longer than that.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "serve/serve.h"
#include "serve/serve_testing.h"

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using serve_testing::connect_to;
using serve_testing::read_answer;
using serve_testing::ServerProcess;
using serve_testing::status_of;

constexpr long kMemoryBoundKb = 64 * 1024;

// A sanitizer build needs memory of its own (its peak is printed, not
// bounded) and runs the program many times slower, so its 100 clients send
// fewer and shorter texts.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// "p50 3.1 ms, p90 ..., p99 ..., max ..." of the latencies (sorted here).
std::string percentiles(std::vector<double> ms) {
  if (ms.empty()) return "no requests";
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
  char text[160];
  std::snprintf(text, sizeof text, "p50 %.1f ms, p90 %.1f ms, p99 %.1f ms, max %.1f ms", at(0.5),
                at(0.9), at(0.99), ms.back());
  return text;
}

// About 1 kB of prose, as a reader would send it.
std::string passage_1k() {
  const std::string sentence = "日本語を勉強して三年になります。毎朝、電車で新聞を読みます。";
  std::string text;
  while (text.size() < 1000) text += sentence;
  return text;
}

class ServeUnderLoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new ServerProcess;
    ASSERT_TRUE(server_->start({}, DODEVUZ_DATA_DIR));
  }
  static void TearDownTestSuite() {
    std::printf("[ serve ] peak memory of the server over every probe: %.1f MB\n",
                server_->status_kb("VmHWM:") / 1024.0);
    EXPECT_EQ(server_->stop(SIGTERM), 0);
    delete server_;
  }
  void TearDown() override {
    const long peak = server_->status_kb("VmHWM:");
    EXPECT_GT(peak, 0);
    if (!kSanitized) {
      EXPECT_LT(peak, kMemoryBoundKb);
    }
  }

  static std::string host() { return "Host: 127.0.0.1:" + std::to_string(server_->port) + "\r\n"; }

  static httplib::Client client() {
    httplib::Client c("127.0.0.1", server_->port);
    c.set_read_timeout(15, 0);
    return c;
  }

  // Sends a request's head and then body, from a thread of its own, for as
  // long as the server reads it; returns the server's answer and sets *sent
  // to the bytes that went out. A careful client stops sending once it is
  // answered, and so does this one.
  static std::string send_body(const std::string& head, const std::function<std::string()>& next,
                               size_t* sent) {
    int fd = connect_to(server_->port);
    if (fd < 0) return "";
    *sent = 0;
    std::string piece = head;
    while (!piece.empty()) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 0) > 0) break;  // answered already
      const ssize_t n = send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
      if (n <= 0) break;
      *sent += static_cast<size_t>(n);
      piece.erase(0, static_cast<size_t>(n));
      if (piece.empty()) piece = next();
    }
    const std::string answer = read_answer(fd, std::chrono::seconds(5));
    close(fd);
    return answer;
  }

  static ServerProcess* server_;
};

ServerProcess* ServeUnderLoad::server_;

// Slow clients, each on a connection of its own: 16 that send their heads a
// byte a second, two that send a whole head and then their body a byte a
// second, and one that asks once and then stays idle. None delays a normal
// client; each is answered 408 or closed once its time is up.
TEST_F(ServeUnderLoad, SlowClientsDelayNoOneAndAreDroppedAtTheDeadline) {
  const Clock::time_point start = Clock::now();
  const std::string head =
      "GET /api/about HTTP/1.1\r\n" + host() + "X-Padding: " + std::string(100, 'a') + "\r\n\r\n";
  const std::string body_head = "POST /api/get HTTP/1.1\r\n" + host() +
                                "Content-Type: application/json\r\nContent-Length: 100\r\n\r\n";
  struct Slow {
    Slow(int fd, std::string bytes) : fd(fd), bytes(std::move(bytes)) {}
    int fd;
    std::string bytes;  // sent a byte a second from `next` on
    size_t next = 0;
    std::string answer;
    double closed_ms = -1;
  };
  std::vector<Slow> slow;
  for (int i = 0; i < 16; ++i) slow.emplace_back(connect_to(server_->port), head);
  for (int i = 0; i < 2; ++i) {
    slow.emplace_back(connect_to(server_->port), body_head + std::string(100, ' '));
    send(slow.back().fd, body_head.data(), body_head.size(), MSG_NOSIGNAL);
    slow.back().next = body_head.size();
  }
  const int idle = connect_to(server_->port);
  const std::string about = "GET /api/about HTTP/1.1\r\n" + host() + "\r\n";
  send(idle, about.data(), about.size(), MSG_NOSIGNAL);
  double idle_closed_ms = -1;
  std::string idle_answer;
  for (const Slow& s : slow) ASSERT_GE(s.fd, 0);

  // The slow clients, from a thread of their own.
  std::atomic<bool> done{false};
  std::thread trickler([&] {
    while (!done) {
      bool open = false;
      for (Slow& s : slow) {
        if (s.closed_ms >= 0) continue;
        open = true;
        pollfd p{s.fd, POLLIN, 0};
        if (poll(&p, 1, 0) > 0) {
          s.answer = read_answer(s.fd, std::chrono::seconds(2));
          s.closed_ms = ms_since(start);
          continue;
        }
        if (s.next < s.bytes.size()) send(s.fd, &s.bytes[s.next++], 1, MSG_NOSIGNAL);
      }
      pollfd p{idle, POLLIN, 0};
      if (idle_closed_ms < 0 && poll(&p, 1, 0) > 0) {
        char buffer[4096];
        const ssize_t n = recv(idle, buffer, sizeof buffer, 0);
        if (n > 0) idle_answer.append(buffer, static_cast<size_t>(n));
        if (n <= 0) idle_closed_ms = ms_since(start);
      }
      if (!open && idle_closed_ms >= 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
  });

  // A normal client meanwhile, a fresh connection each time and a kept one.
  std::vector<double> latencies;
  auto kept = client();
  kept.set_keep_alive(true);
  const json text = {{"text", passage_1k()}};
  const int deadline_ms = kServeDeadlineSeconds * 1000;
  while (ms_since(start) < deadline_ms + 2500) {
    for (httplib::Client* c : {&kept, static_cast<httplib::Client*>(nullptr)}) {
      auto fresh = client();
      const Clock::time_point asked = Clock::now();
      auto res = (c ? *c : fresh).Post("/api/get", text.dump(), "application/json");
      latencies.push_back(ms_since(asked));
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, 200);
      EXPECT_LT(latencies.back(), 1000.0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  done = true;
  trickler.join();

  std::vector<double> dropped;
  for (const Slow& s : slow) {
    EXPECT_EQ(status_of(s.answer), 408) << s.answer;
    EXPECT_GE(s.closed_ms, 0.0);
    EXPECT_LT(s.closed_ms, deadline_ms + 2000.0);
    dropped.push_back(s.closed_ms);
    close(s.fd);
  }
  EXPECT_EQ(status_of(idle_answer), 200);
  EXPECT_GE(idle_closed_ms, kServeIdleSeconds * 1000 - 1000.0);
  EXPECT_LT(idle_closed_ms, kServeIdleSeconds * 1000 + 2000.0);
  close(idle);
  std::printf("[ serve ] a normal client beside 18 slow ones: %zu requests, %s\n", latencies.size(),
              percentiles(latencies).c_str());
  std::printf(
      "[ serve ] slow clients dropped after %s (deadline %d s); an idle one after %.0f ms\n",
      percentiles(dropped).c_str(), kServeDeadlineSeconds, idle_closed_ms);
}

// Bodies over the bound, however framed, are answered 413 once the bound
// is passed, the rest unread, and the server's memory stays bounded.
TEST_F(ServeUnderLoad, BodiesOverTheBoundGet413WhateverTheirFraming) {
  const std::string start =
      "POST /api/get HTTP/1.1\r\n" + host() + "Content-Type: application/json\r\n";
  const std::string megabyte(1 << 20, 'a');
  auto chunks_of = [&](size_t megabytes) {
    auto left = std::make_shared<size_t>(megabytes);
    return [=]() -> std::string {
      if (*left == 0) return "";
      if (--*left == 0) return "100000\r\n" + megabyte + "\r\n0\r\n\r\n";
      return "100000\r\n" + megabyte + "\r\n";
    };
  };
  auto plain_of = [&](size_t megabytes) {
    auto left = std::make_shared<size_t>(megabytes);
    return [=]() -> std::string { return *left == 0 ? "" : (--*left, megabyte); };
  };
  // 64 MB of zeros in some 64 kB of gzip.
  std::string bomb;
  if (FILE* p = popen("head -c 67108864 /dev/zero | gzip -c", "r")) {
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) bomb.append(buffer, n);
    pclose(p);
  }
  ASSERT_GT(bomb.size(), 1000u);

  struct Probe {
    const char* what;
    std::string head;
    std::function<std::string()> next;
  };
  const std::vector<Probe> probes = {
      {"chunked, 20 MB", start + "Transfer-Encoding: chunked\r\n\r\n", chunks_of(20)},
      {"chunked, 63 MB", start + "Transfer-Encoding: chunked\r\n\r\n", chunks_of(63)},
      // A route that does not read bodies as the API does: bounded on the wire.
      {"chunked, 20 MB, elsewhere",
       "POST /elsewhere HTTP/1.1\r\n" + host() + "Transfer-Encoding: chunked\r\n\r\n",
       chunks_of(20)},
      {"63 MB announced", start + "Content-Length: 66060288\r\n\r\n", plain_of(63)},
      {"no length, 20 MB", start + "Connection: close\r\n\r\n", plain_of(20)},
      {"gzip of 64 MB",
       start + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(bomb.size()) +
           "\r\n\r\n",
       [&bomb, given = false]() mutable -> std::string {
         return given ? "" : (given = true, bomb);
       }},
  };
  // Three at once, as an attacker would.
  std::vector<std::string> answers(probes.size());
  std::vector<size_t> sent(probes.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < probes.size(); ++i) {
    threads.emplace_back(
        [&, i] { answers[i] = send_body(probes[i].head, probes[i].next, &sent[i]); });
    if (threads.size() >= 3) {
      threads.front().join();
      threads.erase(threads.begin());
    }
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < probes.size(); ++i) {
    EXPECT_EQ(status_of(answers[i]), 413) << probes[i].what << ": " << answers[i];
    EXPECT_NE(answers[i].find("Connection: close"), std::string::npos) << probes[i].what;
    std::printf("[ serve ] %s: 413 after %.1f MB sent\n", probes[i].what, sent[i] / 1048576.0);
  }
  // The big ones were cut short, not read to their end.
  EXPECT_LT(sent[1], 32u << 20);
  EXPECT_LT(sent[3], 32u << 20);

  // And the server goes on as before.
  auto res = client().Post("/api/get", json{{"text", "日本"}}.dump(), "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
}

// The bounds of a request's head, of the requests on one connection, and of
// the connections open at once.
TEST_F(ServeUnderLoad, TheBoundsOfHeadsConnectionsAndRequestsHold) {
  using serve_testing::http_exchange;
  const int port = server_->port;
  const std::string get = "GET /api/about HTTP/1.1\r\n" + host();
  EXPECT_EQ(status_of(http_exchange(
                port, get + "X-Big: " + std::string(kServeHeaderLimit, 'a') + "\r\n\r\n")),
            431);
  std::string many;
  for (size_t i = 0; i <= kServeHeaderCount; ++i) many += "X-" + std::to_string(i) + ": 1\r\n";
  EXPECT_EQ(status_of(http_exchange(port, get + many + "\r\n")), 431);
  EXPECT_EQ(status_of(http_exchange(port, "GET /" + std::string(kServeUrlLimit, 'a') +
                                              " HTTP/1.1\r\n" + host() + "\r\n")),
            414);
  EXPECT_EQ(status_of(http_exchange(
                port, "PUT /api/get HTTP/1.1\r\n" + host() + "Transfer-Encoding: chunked\r\n\r\n")),
            405);
  EXPECT_EQ(status_of(http_exchange(port, "POST /api/get HTTP/1.1\r\n" + host() +
                                              "Content-Length: 5\r\nContent-Length: 6\r\n\r\n")),
            400);

  // One more request on a connection than it takes: all are answered in
  // turn, and the connection is closed after the last it takes.
  std::string pipelined;
  for (size_t i = 0; i <= kServeRequestsPerConnection; ++i) pipelined += get + "\r\n";
  const std::string answers = http_exchange(port, pipelined);
  size_t answered = 0;
  for (size_t at = 0; (at = answers.find("HTTP/1.1 200 OK", at)) != std::string::npos; ++at) {
    ++answered;
  }
  EXPECT_EQ(answered, kServeRequestsPerConnection);

  // The connections open at once.
  std::vector<int> open;
  for (size_t i = 0; i < kServeConnectionLimit; ++i) open.push_back(connect_to(port));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(status_of(http_exchange(port, get + "\r\n")), 503);
  for (int fd : open) close(fd);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(status_of(http_exchange(port, get + "Connection: close\r\n\r\n")), 200);
}

// 100 clients at once, each sending 10 requests of a 1 kB passage on one
// kept connection: every answer is the right one.
TEST_F(ServeUnderLoad, AHundredClientsAtOnceAreAllAnsweredCorrectly) {
  const std::string body = json{{"text", kSanitized ? "日本語を勉強して" : passage_1k()}}.dump();
  auto first = client().Post("/api/get", body, "application/json");
  ASSERT_TRUE(first);
  ASSERT_EQ(first->status, 200);
  const std::string expected = first->body;

  constexpr int kClients = 100;
  constexpr int kRequests = kSanitized ? 3 : 10;
  std::vector<std::vector<double>> latencies(kClients);
  std::atomic<int> right{0};
  std::atomic<int> waiting{kClients};
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      auto c = client();
      c.set_keep_alive(true);
      --waiting;
      while (waiting > 0) std::this_thread::yield();
      for (int r = 0; r < kRequests; ++r) {
        const Clock::time_point asked = Clock::now();
        auto res = c.Post("/api/get", body, "application/json");
        latencies[i].push_back(ms_since(asked));
        if (res && res->status == 200 && res->body == expected) ++right;
      }
    });
  }
  for (std::thread& t : clients) t.join();
  const double total_ms = ms_since(start);
  std::vector<double> all;
  for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  EXPECT_EQ(right, kClients * kRequests);
  EXPECT_LT(*std::max_element(all.begin(), all.end()), kServeDeadlineSeconds * 1000.0);
  std::printf("[ serve ] %d clients x %d requests of %zu bytes: %s; %.0f requests/s\n", kClients,
              kRequests, body.size(), percentiles(all).c_str(), all.size() * 1000.0 / total_ms);
}

}  // namespace
