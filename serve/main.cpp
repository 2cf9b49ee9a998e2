// dodevuz-serve: the dodevuz command line with the server linked in. `dodevuz
// serve` runs this program, so that dodevuz itself never loads the HTTP
// library and the TLS and compression libraries that come with it.
#include "cli/cli.h"
#include "serve/serve.h"

int main(int argc, char** argv) {
  serve_runner = [](int port) {
    ServeOptions options;
    if (port >= 0) options.port = port;
    return run_server(options, stdout);
  };
  return dodevuz_main(argc, argv);
}
