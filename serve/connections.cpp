// The waiting thread, the workers and the stream a worker reads a request
// through. The library's own loop accepts the connections and hands each to
// the task queue; the queue here passes them at once to the waiting thread,
// and runs nothing else.
#include "serve/connections.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 16 * 1024;
// How long a connection closed after an answer lingers, and how much of
// what its client still sends is dropped meanwhile.
constexpr auto kLinger = std::chrono::seconds(1);
constexpr size_t kLingerBytes = 4 << 20;

struct Connection {
  int fd = -1;
  std::string pending;         // bytes read from the socket, not yet parsed
  size_t taken = 0;            // of pending, how many the parser has had
  size_t scanned = 0;          // of pending, how far the end of the headers was sought
  Clock::time_point deadline;  // waiting ends then: the request's or the idle time's
  bool started = false;        // a request has begun to arrive
  bool lingering = false;      // answered and closing: input is dropped
  size_t dropped = 0;          // bytes dropped while lingering
  size_t served = 0;           // requests answered
  // Set while a worker answers a request:
  size_t wire = 0;  // bytes read from the socket after the headers
  Clock::time_point write_deadline;
  bool writing = false;
  bool close_after = false;  // a handler asked for the connection to close
  bool timed_out = false;    // the request's deadline passed
  bool over_limit = false;   // the request's bytes passed the bound on the wire
};

thread_local Connection* answering = nullptr;  // the connection a worker answers

int milliseconds_until(Clock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60 * 1000));
}

// Waits for the socket to be readable (POLLIN) or writable (POLLOUT) until
// the time given.
bool wait_for(int fd, short events, Clock::time_point until) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, milliseconds_until(until));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

// An answer written without the library, where none of its parsing has
// happened yet (headers too large or too slow, too many connections).
std::string plain_answer(int status, const char* reason, const char* message) {
  const std::string body = std::string("{\"error\":\"") + message + "\"}";
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\nX-Content-Type-Options: nosniff\r\nCache-Control: "
         "no-store\r\n\r\n" +
         body;
}

void send_plain(int fd, const std::string& answer) {
  // The socket's buffer takes a short answer whole; if it cannot, the
  // client is not reading and loses it.
  (void)send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// The end of the request line and headers: the empty line. A header line
// ends in CR LF, so "\n\r\n" (or "\n\n" from a client that sends bare line
// feeds) first appears there.
bool has_whole_head(Connection& c) {
  const std::string& p = c.pending;
  size_t from = std::max(c.scanned, c.taken);
  if (from > c.taken + 2)
    from -= 2;
  else
    from = c.taken;
  for (size_t i = from; i + 1 < p.size(); ++i) {
    if (p[i] != '\n') continue;
    if (p[i + 1] == '\n' || (p[i + 1] == '\r' && i + 2 < p.size() && p[i + 2] == '\n')) return true;
  }
  c.scanned = p.size();
  return false;
}

// The stream a worker reads a request through and writes its answer to:
// the bytes already read first, then the socket, never past the request's
// deadline nor its bound on the wire.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(Connection& c, const ServeOptions& options)
      : c_(c),
        // Chunked framing adds its size lines to the body: a body within its
        // bound fits twice over, with room for a next request's head.
        wire_limit_(options.body_limit * 2 + options.header_limit),
        write_time_(std::chrono::seconds(options.timeout_seconds)) {}

  bool is_readable() const override {
    return c_.taken < c_.pending.size() || wait_for(c_.fd, POLLIN, c_.deadline);
  }

  bool is_writable() const override {
    start_writing();
    return wait_for(c_.fd, POLLOUT, c_.write_deadline);
  }

  ssize_t read(char* ptr, size_t size) override {
    if (c_.taken >= c_.pending.size() && !refill()) return -1;
    const size_t n = std::min(size, c_.pending.size() - c_.taken);
    std::memcpy(ptr, c_.pending.data() + c_.taken, n);
    c_.taken += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    start_writing();
    for (;;) {
      if (!wait_for(c_.fd, POLLOUT, c_.write_deadline)) return -1;
      const ssize_t n = send(c_.fd, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return n;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    if (getpeername(c_.fd, reinterpret_cast<sockaddr*>(&a), &length) == 0) name(a, ip, port);
  }

  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage a{};
    socklen_t length = sizeof a;
    if (getsockname(c_.fd, reinterpret_cast<sockaddr*>(&a), &length) == 0) name(a, ip, port);
  }

  socket_t socket() const override { return c_.fd; }

 private:
  static void name(const sockaddr_storage& a, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {0};
    if (a.ss_family == AF_INET) {
      const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
      inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
      port = ntohs(v4.sin_port);
    } else if (a.ss_family == AF_INET6) {
      const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
      inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
      port = ntohs(v6.sin6_port);
    }
    ip = text;
  }

  void start_writing() const {
    if (c_.writing) return;
    c_.writing = true;
    c_.write_deadline = Clock::now() + write_time_;
  }

  // Reads what the socket has (waiting for it until the deadline) in place
  // of the bytes the parser has had.
  bool refill() {
    if (c_.wire >= wire_limit_) {
      c_.over_limit = true;
      return false;
    }
    c_.pending.clear();
    c_.taken = c_.scanned = 0;
    c_.pending.resize(std::min(kReadChunk, wire_limit_ - c_.wire));
    for (;;) {
      if (!wait_for(c_.fd, POLLIN, c_.deadline)) {
        c_.timed_out = Clock::now() >= c_.deadline;
        break;
      }
      const ssize_t n = recv(c_.fd, c_.pending.data(), c_.pending.size(), MSG_DONTWAIT);
      if (n > 0) {
        c_.pending.resize(static_cast<size_t>(n));
        c_.wire += static_cast<size_t>(n);
        return true;
      }
      if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) break;
    }
    c_.pending.clear();
    return false;
  }

  Connection& c_;
  const size_t wire_limit_;
  const std::chrono::seconds write_time_;
};

}  // namespace

// The waiting thread and the workers of one listening server, and every
// connection open.
struct ConnectionKeeper {
  explicit ConnectionKeeper(ServeServer& server) : server_(server), options_(server.options) {
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    waiter_ = std::thread([this] { wait_loop(); });
    for (size_t i = 0; i < std::max<size_t>(options_.workers, 1); ++i) {
      workers_.emplace_back([this] { work_loop(); });
    }
  }

  ~ConnectionKeeper() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      // Wakes the workers that wait on a client.
      for (auto& [fd, c] : live_) ::shutdown(fd, SHUT_RDWR);
    }
    ready_cv_.notify_all();
    wake();
    waiter_.join();
    for (std::thread& t : workers_) t.join();
    for (auto& [fd, c] : live_) ::close(fd);
    if (wake_ >= 0) ::close(wake_);
  }

  void admit(int fd) {
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->deadline = Clock::now() + std::chrono::seconds(options_.timeout_seconds);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || live_.size() >= options_.connection_limit) {
      send_plain(fd, plain_answer(503, "Service Unavailable", "too many connections"));
      ::close(fd);
      return;
    }
    inbox_.push_back(c.get());
    live_.emplace(fd, std::move(c));
    wake();
  }

 private:
  void wake() {
    const uint64_t one = 1;
    (void)::write(wake_, &one, sizeof one);
  }

  void close_connection(Connection* c) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int fd = c->fd;
    live_.erase(fd);  // frees c
    ::close(fd);
  }

  // Back to the waiting thread (from a worker).
  void hand_back(Connection* c) {
    std::lock_guard<std::mutex> lock(mutex_);
    inbox_.push_back(c);
    wake();
  }

  // Answered and closing: the client may still be sending what was not
  // read, and closing now would reset the connection before it reads the
  // answer, so its input is dropped for a moment first.
  static void start_lingering(Connection* c) {
    ::shutdown(c->fd, SHUT_WR);
    c->lingering = true;
    c->deadline = Clock::now() + kLinger;
    c->pending.clear();
  }

  void dispatch(Connection* c) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_.push_back(c);
    }
    ready_cv_.notify_one();
  }

  // What the waiting thread does with a connection that has something to
  // read. Returns false when the connection has left the waiting thread.
  bool take_input(Connection* c) {
    if (c->lingering) {
      char sink[4096];
      for (;;) {
        const ssize_t n = recv(c->fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n > 0 && (c->dropped += static_cast<size_t>(n)) <= kLingerBytes) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
        close_connection(c);
        return false;
      }
    }
    const size_t have = c->pending.size();
    const size_t room = options_.header_limit + 1 > have ? options_.header_limit + 1 - have : 0;
    c->pending.resize(have + std::min(room, kReadChunk));
    const ssize_t n = recv(c->fd, c->pending.data() + have, c->pending.size() - have, MSG_DONTWAIT);
    c->pending.resize(have + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      close_connection(c);
      return false;
    }
    if (n > 0 && !c->started) {
      c->started = true;
      c->deadline = Clock::now() + std::chrono::seconds(options_.timeout_seconds);
    }
    return consider(c);
  }

  // A connection whose input is in: to a worker when its head is whole,
  // refused when its head is too large. Returns false when it has left the
  // waiting thread.
  bool consider(Connection* c) {
    if (c->lingering) return true;
    if (has_whole_head(*c)) {
      dispatch(c);
      return false;
    }
    if (c->pending.size() - c->taken > options_.header_limit) {
      send_plain(c->fd, plain_answer(431, "Request Header Fields Too Large",
                                     "the request line and headers are too large"));
      start_lingering(c);
    }
    return true;
  }

  // A connection whose waiting time is up.
  bool expire(Connection* c) {
    if (c->started && !c->lingering) {
      send_plain(c->fd, plain_answer(408, "Request Timeout", "the request came too slowly"));
      start_lingering(c);
      return true;
    }
    close_connection(c);
    return false;
  }

  void wait_loop() {
    std::vector<Connection*> waiting;
    std::vector<pollfd> polled;
    for (;;) {
      std::vector<Connection*> arrived;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        arrived.swap(inbox_);
      }
      for (Connection* c : arrived) {
        if (consider(c)) waiting.push_back(c);
      }
      Clock::time_point until = Clock::now() + std::chrono::seconds(60);
      polled.assign(1, pollfd{wake_, POLLIN, 0});
      for (Connection* c : waiting) {
        polled.push_back(pollfd{c->fd, POLLIN, 0});
        until = std::min(until, c->deadline);
      }
      if (poll(polled.data(), polled.size(), milliseconds_until(until)) < 0 && errno != EINTR) {
        return;
      }
      if (polled[0].revents != 0) {
        uint64_t count;
        (void)::read(wake_, &count, sizeof count);
      }
      const Clock::time_point now = Clock::now();
      std::vector<Connection*> still;
      for (size_t i = 0; i < waiting.size(); ++i) {
        Connection* c = waiting[i];
        bool stays;
        if (polled[i + 1].revents != 0) {
          stays = take_input(c);
        } else if (now >= c->deadline) {
          stays = expire(c);
        } else {
          stays = true;
        }
        if (stays) still.push_back(c);
      }
      waiting.swap(still);
    }
  }

  void work_loop() {
    for (;;) {
      Connection* c;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_cv_.wait(lock, [this] { return stopping_ || !ready_.empty(); });
        if (stopping_) return;
        c = ready_.front();
        ready_.pop_front();
      }
      answer(c);
    }
  }

  void answer(Connection* c) {
    c->wire = 0;
    c->writing = c->close_after = c->timed_out = c->over_limit = false;
    const bool last = c->served + 1 >= options_.requests_per_connection;
    bool closed = false;
    ConnectionStream stream(*c, options_);
    answering = c;
    const bool answered = server_.serve_request(stream, last, &closed);
    answering = nullptr;
    ++c->served;
    c->pending.erase(0, c->taken);
    c->taken = c->scanned = 0;
    if (!answered) {  // the client is gone, or does not read its answer
      close_connection(c);
      return;
    }
    if (closed || last || c->close_after || c->timed_out || c->over_limit) {
      start_lingering(c);
    } else {
      // What follows may be the next request, already here.
      c->started = !c->pending.empty();
      c->deadline = Clock::now() + std::chrono::seconds(c->started ? options_.timeout_seconds
                                                                   : options_.idle_seconds);
    }
    hand_back(c);
  }

  ServeServer& server_;
  const ServeOptions& options_;
  int wake_ = -1;  // eventfd: wakes the waiting thread
  std::thread waiter_;
  std::vector<std::thread> workers_;

  std::mutex mutex_;  // guards what follows
  bool stopping_ = false;
  std::vector<Connection*> inbox_;  // for the waiting thread
  std::deque<Connection*> ready_;   // heads whole, for the workers
  std::condition_variable ready_cv_;
  std::unordered_map<int, std::unique_ptr<Connection>> live_;  // every open connection
};

namespace {

// The library's task queue: the only tasks are accepted connections, and
// taking one is quick, so it runs them at once, on the listening thread. It
// lasts as long as one listening loop.
class KeeperQueue : public httplib::TaskQueue {
 public:
  explicit KeeperQueue(ServeServer& server, std::atomic<ConnectionKeeper*>& slot)
      : keeper_(server), slot_(slot) {
    slot_ = &keeper_;
  }
  void enqueue(std::function<void()> fn) override { fn(); }
  void shutdown() override { slot_ = nullptr; }

 private:
  ConnectionKeeper keeper_;
  std::atomic<ConnectionKeeper*>& slot_;
};

}  // namespace

ServeServer::ServeServer(const ServeOptions& options) : options(options) {
  new_task_queue = [this] { return new KeeperQueue(*this, keeper_); };
}

ServeServer::~ServeServer() = default;

bool ServeServer::serve_request(httplib::Stream& strm, bool last, bool* closed) {
  bool connection_closed = false;
  const bool answered = process_request(strm, last, connection_closed, nullptr);
  *closed = connection_closed;
  return answered;
}

void ServeServer::widen_backlog() {
  ::listen(svr_sock_, static_cast<int>(std::min<size_t>(options.connection_limit, SOMAXCONN)));
}

bool ServeServer::process_and_close_socket(socket_t sock) {
  if (ConnectionKeeper* keeper = keeper_) {
    keeper->admit(sock);
  } else {
    ::close(sock);
  }
  return true;
}

void close_after_response(httplib::Response& res) {
  if (answering != nullptr) answering->close_after = true;
  res.set_header("Connection", "close");
}

int failed_request_status() {
  if (answering == nullptr) return 0;
  return answering->timed_out ? 408 : answering->over_limit ? 413 : 0;
}
