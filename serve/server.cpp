// The HTTP side of `dodevuz serve`, over cpp-httplib: the loopback address
// only, the checks every request passes before it reaches the program, the
// routes, and the end on SIGINT or SIGTERM.
//
// Safety, in the order a request meets it:
//   - the socket is bound to 127.0.0.1, so only this machine can connect;
//   - the connections are kept by serve/connections.cpp: a request must
//     arrive whole within the deadline, a worker takes it only once its
//     headers are in, and idle or slow clients hold no worker; the program's
//     state is locked only while a whole request runs;
//   - the request line and headers, the header count, the target's length,
//     the requests on one connection and the body are all bounded, the body
//     as its bytes arrive, however it is framed; a refused body is not read;
//   - Host must name this server (127.0.0.1 or localhost at its port): a
//     page of another site whose name was made to point at 127.0.0.1 (DNS
//     rebinding) sends its own name, and is refused;
//   - Origin, when a browser sends one, must be this server's; a page of any
//     other origin cannot use the API, and cross-site fetches are refused;
//   - the API takes only JSON (415 otherwise), and malformed JSON or text
//     gets 400;
//   - nothing is served from the file system but the system's stroke-order
//     font, from its fixed folder: the page is built into the program, and
//     the only other files opened are the dictionary's.
#include <httplib.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/convert.h"
#include "serve/connections.h"
#include "serve/page_assets.h"
#include "serve/serve.h"

Serve serve;

namespace {

constexpr char kLoopback[] = "127.0.0.1";

const char kSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self' data:; font-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors "
    "'none'";

std::string error_json(const std::string& message) {
  return nlohmann::json{{"error", message}}.dump();
}

// A JSON answer, its body moved in rather than copied: a page of /api/get
// is a quarter of a megabyte.
void set_json(httplib::Response& res, int status, std::string&& body) {
  res.status = status;
  res.set_content("", 0, "application/json");
  res.body = std::move(body);
}

void send_error(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(error_json(message), "application/json");
}

// Host and Origin as this server names itself.
bool own_host(const std::string& host) {
  const std::string port = std::to_string(serve.port);
  return host == std::string(kLoopback) + ":" + port || host == "localhost:" + port;
}

bool own_origin(const std::string& origin) {
  return origin.rfind("http://", 0) == 0 && own_host(origin.substr(7));
}

// The body's announced length: -1 when there is none, -2 when it is not a
// plain number or two headers disagree.
long long announced_length(const httplib::Request& req) {
  long long length = -1;
  auto range = req.headers.equal_range("Content-Length");
  for (auto it = range.first; it != range.second; ++it) {
    const std::string& v = it->second;
    if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string::npos) {
      return -2;
    }
    const long long n = std::stoll(v);
    if (length >= 0 && n != length) return -2;
    length = n;
  }
  return length;
}

bool has_body(const httplib::Request& req) {
  return announced_length(req) != -1 ? announced_length(req) != 0
                                     : req.has_header("Transfer-Encoding");
}

// The bounds of a request, checked on its line and headers alone.
httplib::Server::HandlerResponse check_bounds(const httplib::Request& req, httplib::Response& res) {
  const ServeOptions& o = serve.options;
  int status = 0;
  const char* what = nullptr;
  const long long length = announced_length(req);
  if (req.method != "GET" && req.method != "HEAD" && req.method != "POST") {
    status = 405, what = "the server takes GET and POST only";
    res.set_header("Allow", "GET, HEAD, POST");
  } else if (req.target.size() > o.url_limit) {
    status = 414, what = "the address is too long";
  } else if (req.headers.size() > o.header_count + 4) {  // the library adds four of its own
    status = 431, what = "the request has too many headers";
  } else if (length == -2 || (length >= 0 && req.has_header("Transfer-Encoding"))) {
    status = 400, what = "the request's length is not clear";
  } else if (length > static_cast<long long>(o.body_limit)) {
    status = 413, what = "the request is too large";
  }
  if (status == 0) {
    // Only the API reads bodies: any other's would be read as a next request.
    if (req.method != "POST" && has_body(req)) close_after_response(res);
    return httplib::Server::HandlerResponse::Unhandled;
  }
  send_error(res, status, what);
  close_after_response(res);
  return httplib::Server::HandlerResponse::Handled;
}

// The checks before routing; a refused request is answered here, and its
// body, if it has one, is never read.
httplib::Server::HandlerResponse check_request(const httplib::Request& req,
                                               httplib::Response& res) {
  if (check_bounds(req, res) == httplib::Server::HandlerResponse::Handled) {
    return httplib::Server::HandlerResponse::Handled;
  }
  const char* refused = nullptr;
  if (!own_host(req.get_header_value("Host"))) {
    refused = "this server answers only to its own address (Host)";
  } else if (req.has_header("Origin") && !own_origin(req.get_header_value("Origin"))) {
    refused = "requests from other sites are refused (Origin)";
  } else if (req.get_header_value("Sec-Fetch-Site") == "cross-site") {
    refused = "requests from other sites are refused (Sec-Fetch-Site)";
  }
  if (refused == nullptr) return httplib::Server::HandlerResponse::Unhandled;
  send_error(res, 403, refused);
  if (has_body(req)) close_after_response(res);
  return httplib::Server::HandlerResponse::Handled;
}

// An API call: the body read as it arrives, no further than its bound, then
// the program run under the lock, JSON out.
void run_api(const httplib::Request& req, httplib::Response& res,
             const httplib::ContentReader& read_body,
             std::string (*api)(const std::string&, int*)) {
  const std::string type = req.get_header_value("Content-Type");
  if (type.rfind("application/json", 0) != 0) {
    send_error(res, 415, "the API takes application/json");
    close_after_response(res);
    return;
  }
  std::string request_body;
  bool too_large = false;
  const bool whole = read_body([&](const char* data, size_t length) {
    if (length > serve.options.body_limit - request_body.size()) {
      too_large = true;
      return false;
    }
    request_body.append(data, length);
    return true;
  });
  if (!whole) {
    const int failed = failed_request_status();
    const int status = too_large ? 413 : failed != 0 ? failed : res.status == 415 ? 415 : 400;
    send_error(res, status,
               status == 413   ? "the request is too large"
               : status == 408 ? "the request came too slowly"
               : status == 415 ? "the body's encoding is not supported"
                               : "the request's body is malformed");
    close_after_response(res);
    return;
  }
  int status = 500;
  std::string body;
  {
    std::lock_guard<std::mutex> lock(serve.core);
    body = api(request_body, &status);
  }
  set_json(res, status, std::move(body));
}

void serve_asset(httplib::Response& res, const PageAsset& asset) {
  res.set_content(reinterpret_cast<const char*>(asset.bytes), asset.size, asset.type);
}

}  // namespace

void reset_serve() {
  if (serve.server) serve.server->stop();
  serve.server.reset();
  serve.port = 0;
}

std::unique_ptr<ServeServer> new_serve_server(const ServeOptions& options) {
  serve.options = options;
  auto server = std::make_unique<ServeServer>(options);
  ServeServer& s = *server;
  // The library's own bound too, though the API reads bodies itself.
  s.set_payload_max_length(options.body_limit);
  // What the answers' Keep-Alive header announces.
  s.set_keep_alive_timeout(options.idle_seconds);
  s.set_keep_alive_max_count(options.requests_per_connection);
  s.set_default_headers({{"Content-Security-Policy", kSecurityPolicy},
                         {"X-Content-Type-Options", "nosniff"},
                         {"X-Frame-Options", "DENY"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Cross-Origin-Resource-Policy", "same-origin"},
                         {"Cache-Control", "no-store"}});
  // SO_REUSEADDR alone: the library's default adds SO_REUSEPORT, with which
  // a second process could bind the same port and take requests meant for
  // this one.
  s.set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // An answer goes out in two writes (head, then body): without this the
  // second waits for the client to acknowledge the first, some 40 ms.
  s.set_tcp_nodelay(true);
  // A client that waits to be told to send its body is told no at once
  // when the body would be refused.
  s.set_expect_100_continue_handler([](const httplib::Request& req, httplib::Response& res) {
    if (check_request(req, res) == httplib::Server::HandlerResponse::Handled) return res.status;
    return 100;
  });
  s.set_pre_routing_handler(check_request);
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    // A request the library could not read because its time or its bytes
    // ran out.
    if (res.status == 400 && failed_request_status() != 0) {
      res.status = failed_request_status();
      res.body.clear();
      close_after_response(res);
    }
    if (res.body.empty()) {
      const char* what = res.status == 413   ? "the request is too large"
                         : res.status == 408 ? "the request came too slowly"
                         : res.status == 414 ? "the address is too long"
                         : res.status == 404 ? "no such page"
                                             : "the request cannot be served";
      send_error(res, res.status, what);
    }
  });
  s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    send_error(res, 500, "the request failed");
  });

  s.Get("/", [](const httplib::Request&, httplib::Response& res) { serve_asset(res, kPageHtml); });
  s.Get("/page.js",
        [](const httplib::Request&, httplib::Response& res) { serve_asset(res, kPageJs); });
  s.Get("/kanji.js",
        [](const httplib::Request&, httplib::Response& res) { serve_asset(res, kPageKanjiJs); });
  s.Get("/page.css",
        [](const httplib::Request&, httplib::Response& res) { serve_asset(res, kPageCss); });
  s.Get("/text.js",
        [](const httplib::Request&, httplib::Response& res) { serve_asset(res, kPageTextJs); });
  s.Get("/api/about", [](const httplib::Request&, httplib::Response& res) {
    int status = 500;
    std::string body;
    {
      std::lock_guard<std::mutex> lock(serve.core);
      body = api_about(&status);
    }
    res.status = status;
    res.set_content(body, "application/json");
  });
  s.Post("/api/get", [](const httplib::Request& req, httplib::Response& res,
                        const httplib::ContentReader& read) { run_api(req, res, read, api_get); });
  s.Post("/api/single",
         [](const httplib::Request& req, httplib::Response& res,
            const httplib::ContentReader& read) { run_api(req, res, read, api_single); });
  s.Post("/api/kanji",
         [](const httplib::Request& req, httplib::Response& res,
            const httplib::ContentReader& read) { run_api(req, res, read, api_kanji); });
  s.Get("/kanji-font.ttf",
        [](const httplib::Request&, httplib::Response& res) { serve_stroke_order_font(res); });
  s.Post("/api/known",
         [](const httplib::Request& req, httplib::Response& res,
            const httplib::ContentReader& read) { run_api(req, res, read, api_known); });
  s.Post("/api/entries",
         [](const httplib::Request& req, httplib::Response& res,
            const httplib::ContentReader& read) { run_api(req, res, read, api_entries); });
  s.Post("/api/wordlist",
         [](const httplib::Request& req, httplib::Response& res,
            const httplib::ContentReader& read) { run_api(req, res, read, api_word_list_add); });
  s.Get("/api/wordlist", [](const httplib::Request&, httplib::Response& res) {
    int status = 500;
    std::string body;
    {
      std::lock_guard<std::mutex> lock(serve.core);
      body = api_word_list_file(&status);
    }
    res.status = status;
    res.set_header("Content-Disposition", "attachment; filename=\"wordlist.tsv\"");
    res.set_content(body, "text/tab-separated-values; charset=utf-8");
  });
  return server;
}

int serve_bind(const ServeOptions& options, std::string* error) {
  reset_serve();
  std::unique_ptr<ServeServer> server = new_serve_server(options);
  ServeServer& s = *server;
  if (options.port == 0) {
    serve.port = s.bind_to_any_port(kLoopback);
  } else {
    serve.port = s.bind_to_port(kLoopback, options.port) ? options.port : -1;
  }
  if (serve.port <= 0) {
    *error = "cannot listen on " + std::string(kLoopback) + ":" + std::to_string(options.port) +
             ": " + std::strerror(errno);
    serve.port = 0;
    return -1;
  }
  s.widen_backlog();
  serve.server = std::move(server);
  return serve.port;
}

bool serve_listen() {
  return serve.server && serve.server->listen_after_bind();
}

void serve_stop() {
  if (serve.server) serve.server->stop();
}

int run_server(const ServeOptions& options, FILE* out) {
  for (const char* file : {"edict", "edict.jdx", "kanarom.cnv"}) {
    FILE* f = std::fopen(file, "rb");
    if (f == nullptr) {
      std::fprintf(stderr, "dodevuz: cannot read %s: %s\n", file, std::strerror(errno));
      return 1;
    }
    std::fclose(f);
  }
  // The conversions load what they need once, before the first request.
  euc_to_utf8(utf8_to_euc("\xE6\x97\xA5"));
  // The worker threads share two memory arenas: an arena of each thread's
  // own would keep the blocks it freed, and the peak would grow with the
  // workers.
  mallopt(M_ARENA_MAX, 2);

  // SIGINT and SIGTERM are taken by a thread of their own, which stops the
  // server; every other thread (the workers too) has them blocked.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  std::string error;
  if (serve_bind(options, &error) < 0) {
    std::fprintf(stderr, "dodevuz: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(out, "Dodevuz reading page: http://%s:%d/  (Ctrl+C ends it)\n", kLoopback,
               serve.port);
  std::fflush(out);

  std::thread waiter([&stop_signals] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    serve_stop();
  });
  const bool served = serve_listen();
  // The waiter may still wait: wake it.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  reset_serve();
  std::fputs("dodevuz: the server has stopped\n", stderr);
  return served ? 0 : 1;
}
