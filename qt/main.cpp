// dodevuz-qt, the desktop program on Linux; everything but main() is in
// window.cpp, which the tests link too.
#include "qt/window.h"

int main(int argc, char** argv) {
  return dodevuz_qt_main(argc, argv);
}
