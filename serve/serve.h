// `dodevuz serve`: the reading page in a browser. An HTTP server on the
// loopback address that serves one static page (built into the program) and a
// small JSON API over the same commands as the other front ends:
//
//   GET  /            the page (and /page.js, /page.css)
//   GET  /api/about   the program's name, version and the dictionary's size
//   POST /api/get     {"text": T, "from": N} -> the listing's items of T, read
//                     from EUC-JP byte N on, as far as one listing reaches
//   POST /api/single  {"text": T} -> every entry line that matches T's start
//   POST /api/kanji   {"text": T} -> the details of T's kanji
//   GET  /kanji-font.ttf  the system's stroke-order font, when installed
//   POST /api/known   {"headword": H, "reading": R, "known": B} -> marks the
//                     word known (B true or absent) or no longer known in
//                     known.tsv: {"known": B, "outcome": "marked as known"}
//   POST /api/wordlist {"headword": H, "reading": R, "sentence": S, "form": F}
//                     -> the dictionary's entry of the word to wordlist.tsv
//   GET  /api/wordlist the word list file
//
// Each word item of /api/get says whether the word is in known.tsv ("known").
// Texts are UTF-8 on the wire and EUC-JP inside; requests are served one at a
// time over the program-wide state, as the desktop programs run commands.
// Requests whose Host or Origin is not this server's are refused (403),
// bodies over the bound get 413, malformed JSON or text 400; the only files
// the server reads are the dictionary files in the working directory
// (kanjidic among them) and the stroke-order font of the system's font
// folder, and the only ones it writes known.tsv and wordlist.tsv there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

class ServeServer;  // serve/connections.h
namespace httplib {
struct Response;
}  // namespace httplib

constexpr int kDefaultServePort = 8080;

// The bounds of what one client may ask of the server. Every one holds
// however a request is framed (Content-Length, chunked or neither).
constexpr size_t kServeBodyLimit = 1 << 20;          // bytes of a request body, as they arrive
constexpr size_t kServeHeaderLimit = 16 * 1024;      // bytes of the request line and headers
constexpr size_t kServeHeaderCount = 64;             // header lines of a request
constexpr size_t kServeUrlLimit = 2048;              // bytes of the request's target
constexpr size_t kServeRequestsPerConnection = 100;  // then the connection is closed
constexpr int kServeDeadlineSeconds = 10;  // for a whole request to arrive, and its answer to go
constexpr int kServeIdleSeconds = 5;       // an idle keep-alive connection is kept so long
constexpr size_t kServeConnectionLimit = 256;  // connections open at once; more are refused
constexpr size_t kServeWorkers = 8;            // threads that answer requests
// Bytes of dictionary the server keeps in its page cache between requests:
// the main and names dictionaries with their indexes (68 MB in full) fit, so
// a run of pages reads each dictionary page from disk at most once. Less
// thrashes: the names dictionary's searches evict the main one's pages.
constexpr uint64_t kServeCacheBytes = 80ull << 20;
// Longer entries a popup lists under "longer words".
constexpr size_t kLongerShown = 30;

struct ServeOptions {
  int port = kDefaultServePort;  // 0: any free port
  // The longest a request may take to arrive, its line, headers and body
  // together (not per read), and its answer to be sent.
  int timeout_seconds = kServeDeadlineSeconds;
  int idle_seconds = kServeIdleSeconds;
  size_t body_limit = kServeBodyLimit;
  size_t header_limit = kServeHeaderLimit;
  size_t header_count = kServeHeaderCount;
  size_t url_limit = kServeUrlLimit;
  size_t requests_per_connection = kServeRequestsPerConnection;
  size_t connection_limit = kServeConnectionLimit;
  size_t workers = kServeWorkers;
};

// Program-wide state of the server; one instance, `serve`.
struct Serve {
  std::unique_ptr<ServeServer> server;  // nullptr when none is bound
  int port;                             // the bound port, 0 before
  ServeOptions options;                 // the bounds of the bound server
  std::mutex core;                      // held while a request runs the program
};

extern Serve serve;

// Stops and forgets the server.
void reset_serve();

// Binds a new server to 127.0.0.1 at options.port. Returns the port bound,
// or -1 (with a message in *error) when it cannot be bound.
int serve_bind(const ServeOptions& options, std::string* error);

// A server with the routes and checks of `dodevuz serve`, not bound to any
// port (the fuzz target hands it requests directly). Sets serve.options.
std::unique_ptr<ServeServer> new_serve_server(const ServeOptions& options);

// Serves requests until serve_stop; returns false when the server failed.
// REQUIRES: serve_bind succeeded.
bool serve_listen();

// Ends serve_listen (from any thread).
void serve_stop();

// `dodevuz serve` in the working directory: checks the dictionary files,
// binds, prints the address to out and serves until SIGINT or SIGTERM.
// Returns the exit status.
int run_server(const ServeOptions& options, FILE* out);

// The request handlers, apart from HTTP: each takes a request body and gives
// the response body (JSON), setting *status to the HTTP status.
std::string api_get(const std::string& body, int* status);
std::string api_single(const std::string& body, int* status);
std::string api_about(int* status);

// POST /api/kanji {"text": T} -> {"available": B, "font": B, "kanji": [...]}:
// the details of T's kanji (kanji_api.cpp), the objects of `dodevuz kanji
// --json`; "available" is false, with no kanji, when kanjidic is missing.
std::string api_kanji(const std::string& body, int* status);

// GET /kanji-font.ttf: the stroke-order font from stroke_order_font_dir (the
// newest .ttf there), or 404 when it is not installed.
void serve_stroke_order_font(httplib::Response& res);
std::string stroke_order_font_path();  // "" when there is none
extern const char* stroke_order_font_dir;
std::string api_known(const std::string& body, int* status);  // study.cpp
// POST /api/entries {"text": W, "also": D} -> the entries whose headword or
// reading is W (or its dictionary form D), whole lines with their senses
// grouped, and up to kLongerShown of the longer entries that begin like W.
std::string api_entries(const std::string& body, int* status);
// POST /api/wordlist {"headword", "reading", "sentence", "form"} -> the
// entry's line with the sentence (and the conjugated form the reader met, when
// given) appended to wordlist.tsv, unless the word is there.
std::string api_word_list_add(const std::string& body, int* status);
// GET /api/wordlist: the word list file as it stands (empty when none).
std::string api_word_list_file(int* status);
