// The reading page's files, built into the program from serve/page/ when it
// is compiled (serve/embed.cmake writes their bytes into a source file), so
// the server never reads a page from the file system.
#pragma once

#include <cstddef>

struct PageAsset {
  const unsigned char* bytes;
  size_t size;
  const char* type;  // its Content-Type
};

extern const PageAsset kPageHtml;  // page/index.html
extern const PageAsset kPageJs;    // page/page.js
extern const PageAsset kPageCss;   // page/page.css
extern const PageAsset kPageKanjiJs;  // page/kanji.js
extern const PageAsset kPageTextJs;  // page/text.js: the page's text handling, apart from the page
