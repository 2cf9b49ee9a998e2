// The connections of `dodevuz serve`. cpp-httplib parses every request and
// runs the routes; the connections themselves are kept here, so that no
// client can hold a worker thread:
//
//   - one thread waits on every connection that has no whole request yet
//     (new ones, idle keep-alive ones, slow ones) with poll(); a connection
//     goes to a worker only once its request line and headers have all
//     arrived, and comes back here as soon as its answer is sent;
//   - a request must arrive whole (line, headers and body) within the
//     deadline from its first byte, however slowly its bytes come, and its
//     answer must be sent within the deadline too; an idle connection is
//     closed after the idle time, a connection after its last request;
//   - the request line and headers are bounded in bytes before they are
//     parsed, and what a request may read past them in bytes on the wire
//     (twice the body's bound), whatever its framing, so that no route can
//     take more; the connections open at once are bounded too.
//
// A connection closed by the server after an answer (an error, its last
// request) lingers here for a moment with its input dropped, so that the
// client reads the answer rather than a reset.
#pragma once

#include <httplib.h>

#include <memory>

#include "serve/serve.h"

struct ConnectionKeeper;  // serve/connections.cpp

class ServeServer : public httplib::Server {
 public:
  explicit ServeServer(const ServeOptions& options);
  ~ServeServer() override;

  // Reads one request from strm and answers it there. *closed is set when
  // the request asked for the connection to be closed after it; last says
  // the answer is the connection's last. Returns false when no request could
  // be read or the answer could not be sent.
  bool serve_request(httplib::Stream& strm, bool last, bool* closed);

  // Lets the bound socket queue as many connections as may be open at
  // once (the library listens with a backlog of five, and a burst of
  // clients beyond that waits a second for the kernel to try again).
  void widen_backlog();

  const ServeOptions options;

 private:
  friend struct ConnectionKeeper;
  // Takes a connection accepted by the library's listening loop.
  bool process_and_close_socket(socket_t sock) override;
  std::atomic<ConnectionKeeper*> keeper_{nullptr};  // while listening
};

// For the handlers of the request a worker is answering: the connection is
// closed once the answer is sent (the request's body was not read to its
// end, or it was refused as a whole). Marks the answer "Connection: close".
void close_after_response(httplib::Response& res);

// 408 when the request being answered failed because its deadline passed,
// 413 when its bytes passed the bound on the wire; 0 otherwise.
int failed_request_status();
