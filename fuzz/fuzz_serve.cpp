// Fuzzes what `dodevuz serve` does with the bytes a client sends, over the
// sample dictionary. Byte 0 picks the way in:
//   - even: the rest is what arrives on one connection (request lines,
//     headers, bodies framed any way, several requests in a row), read
//     through the server's checks, routes and API handlers exactly as from a
//     socket; every answer must begin with a status line;
//   - odd: the rest is the JSON body of a Get (bit 1 clear) or a Single,
//     with its texts and positions, given to the handler directly; the
//     answer must be JSON with a status the API uses.
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/fuzz_support.h"
#include "serve/connections.h"
#include "serve/serve.h"

namespace {

constexpr int kPort = 8080;  // the Host the seeds name

// A connection's bytes from memory; what is written to it is kept, but no
// more than an answer's worth.
class InputStream : public httplib::Stream {
 public:
  InputStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool is_readable() const override { return at_ < size_; }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const size_t n = std::min(size, size_ - at_);
    std::memcpy(ptr, data_ + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (written.size() < (1u << 22)) written.append(ptr, std::min<size_t>(size, 1u << 22));
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 40000;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = kPort;
  }
  socket_t socket() const override { return -1; }
  size_t at() const { return at_; }

  std::string written;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

ServeServer& server() {
  static ServeServer* s = [] {
    fuzz_support::enter_scratch_dir(true);
    ServeServer* made = new_serve_server(ServeOptions{}).release();
    serve.port = kPort;
    return made;
  }();
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  ServeServer& s = server();
  if (data[0] & 1) {
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
    int status = 0;
    const std::string answer = (data[0] & 2) ? api_single(body, &status) : api_get(body, &status);
    if (status != 200 && (status < 400 || status > 499)) abort();
    if (!nlohmann::json::accept(answer)) abort();
    return 0;
  }
  InputStream stream(data + 1, size - 1);
  // A few requests in a row, as long as each takes some of the input.
  for (int request = 0; request < 8 && stream.at() < size - 1; ++request) {
    const size_t before = stream.at();
    const size_t answered = stream.written.size();
    bool closed = false;
    const bool ok = s.serve_request(stream, false, &closed);
    if (stream.written.size() > answered && stream.written.compare(answered, 9, "HTTP/1.1 ") != 0) {
      abort();
    }
    if (!ok || closed || stream.at() == before) break;
  }
  return 0;
}
