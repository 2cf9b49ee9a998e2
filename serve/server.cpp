// The HTTP side of `dodevuz serve`, over cpp-httplib: the loopback address
// only, the checks every request passes before it reaches the program, the
// routes, and the end on SIGINT or SIGTERM.
//
// Safety, in the order a request meets it:
//   - the socket is bound to 127.0.0.1, so only this machine can connect;
//   - a client that sends or reads nothing for the time-out is dropped, and
//     several worker threads read requests, so one slow client holds only its
//     own worker; the program's state is locked only while a whole request
//     runs;
//   - Host must name this server (127.0.0.1 or localhost at its port): a
//     page of another site whose name was made to point at 127.0.0.1 (DNS
//     rebinding) sends its own name, and is refused;
//   - Origin, when a browser sends one, must be this server's; a page of any
//     other origin cannot use the API, and cross-site fetches are refused;
//   - bodies over the bound get 413 before they are read, the API takes only
//     JSON (415 otherwise), and malformed JSON or text gets 400;
//   - nothing is served from the file system: the page is built into the
//     program, and the only files opened are the dictionary's three.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/convert.h"
#include "serve/page_assets.h"
#include "serve/serve.h"

Serve serve;

namespace {

constexpr char kLoopback[] = "127.0.0.1";
constexpr size_t kWorkers = 4;

const char kSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self' data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

std::string error_json(const std::string& message) {
  return nlohmann::json{{"error", message}}.dump();
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

// The checks before routing; a refused request is answered here.
httplib::Server::HandlerResponse check_request(const httplib::Request& req,
                                               httplib::Response& res) {
  if (!own_host(req.get_header_value("Host"))) {
    send_error(res, 403, "this server answers only to its own address (Host)");
    return httplib::Server::HandlerResponse::Handled;
  }
  if (req.has_header("Origin") && !own_origin(req.get_header_value("Origin"))) {
    send_error(res, 403, "requests from other sites are refused (Origin)");
    return httplib::Server::HandlerResponse::Handled;
  }
  if (req.get_header_value("Sec-Fetch-Site") == "cross-site") {
    send_error(res, 403, "requests from other sites are refused (Sec-Fetch-Site)");
    return httplib::Server::HandlerResponse::Handled;
  }
  return httplib::Server::HandlerResponse::Unhandled;
}

// An API call: JSON in, the program run under the lock, JSON out.
void run_api(const httplib::Request& req, httplib::Response& res,
             std::string (*api)(const std::string&, int*)) {
  const std::string type = req.get_header_value("Content-Type");
  if (type.rfind("application/json", 0) != 0) {
    send_error(res, 415, "the API takes application/json");
    return;
  }
  int status = 500;
  std::string body;
  {
    std::lock_guard<std::mutex> lock(serve.core);
    body = api(req.body, &status);
  }
  res.status = status;
  res.set_content(body, "application/json");
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

int serve_bind(const ServeOptions& options, std::string* error) {
  reset_serve();
  auto server = std::make_unique<httplib::Server>();
  httplib::Server& s = *server;
  s.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  s.set_read_timeout(options.timeout_seconds, 0);
  s.set_write_timeout(options.timeout_seconds, 0);
  s.set_keep_alive_timeout(options.timeout_seconds);
  s.set_keep_alive_max_count(100);
  s.set_payload_max_length(options.body_limit);
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
  s.set_pre_routing_handler(check_request);
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) {
      const char* what = res.status == 413   ? "the request is too large"
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
  s.Post("/api/get",
         [](const httplib::Request& req, httplib::Response& res) { run_api(req, res, api_get); });
  s.Post("/api/single", [](const httplib::Request& req, httplib::Response& res) {
    run_api(req, res, api_single);
  });
  s.Post("/api/entries", [](const httplib::Request& req, httplib::Response& res) {
    run_api(req, res, api_entries);
  });
  s.Post("/api/wordlist", [](const httplib::Request& req, httplib::Response& res) {
    run_api(req, res, api_word_list_add);
  });
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
