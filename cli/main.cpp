// The dodevuz command line; everything but main() is in the cli library.
#include "cli/cli.h"

int main(int argc, char** argv) {
  return dodevuz_main(argc, argv);
}
