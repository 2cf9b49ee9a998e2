// The reading page's kanji section: POST /api/kanji answers the details of a
// word's kanji from kanjidic in the server's folder (the same objects as
// `dodevuz kanji --json`), and GET /kanji-font.ttf hands out the system's
// stroke-order font when its package is installed. The font is read from the
// system's font folder at each request, never copied anywhere.
#include <dirent.h>
#include <httplib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "kanji/kanji.h"
#include "platform/convert.h"
#include "platform/text_units.h"
#include "serve/serve.h"

using nlohmann::json;

const char* stroke_order_font_dir = "/usr/share/fonts/truetype/kanjistrokeorders";

namespace {

// Bytes of a word's text whose kanji are looked up: a popup's word is short;
// a longer text is cut at a whole character.
constexpr size_t kKanjiTextLimit = 256;

std::string refuse(int* status, int code, const std::string& message) {
  *status = code;
  return json{{"error", message}}.dump();
}

}  // namespace

std::string stroke_order_font_path() {
  DIR* dir = opendir(stroke_order_font_dir);
  if (dir == nullptr) return "";
  std::vector<std::string> fonts;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ttf") == 0) fonts.push_back(name);
  }
  closedir(dir);
  if (fonts.empty()) return "";
  // Versions are in the names: the last in order is the newest.
  std::sort(fonts.begin(), fonts.end());
  const std::string path = std::string(stroke_order_font_dir) + "/" + fonts.back();
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? path : "";
}

std::string api_kanji(const std::string& body, int* status) {
  const json request = json::parse(body, nullptr, false);
  if (request.is_discarded() || !request.is_object()) {
    return refuse(status, 400, "the request must be a JSON object");
  }
  const auto text = request.find("text");
  if (text == request.end() || !text->is_string()) {
    return refuse(status, 400, "the request needs \"text\", a string");
  }
  const std::string euc = utf8_to_euc(text->get_ref<const std::string&>());
  const std::string_view word = std::string_view(euc).substr(0, euc.find('\0'));
  json kanji_list = json::array();
  if (kanji_available()) {
    kanji_list = json::parse(
        kanji_json_text(word.substr(0, euc_whole_prefix(word, kKanjiTextLimit))), nullptr, false);
    if (kanji_list.is_discarded()) return refuse(status, 500, "the kanji details cannot be made");
  }
  *status = 200;
  return json{{"available", kanji_available()},
              {"font", !stroke_order_font_path().empty()},
              {"kanji", kanji_list}}
      .dump();
}

void serve_stroke_order_font(httplib::Response& res) {
  const std::string path = stroke_order_font_path();
  struct stat info {};
  FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (file == nullptr || fstat(fileno(file), &info) != 0) {
    if (file != nullptr) std::fclose(file);
    res.status = 404;
    return;
  }
  std::shared_ptr<FILE> shared(file, std::fclose);
  const auto size = static_cast<size_t>(info.st_size);
  res.set_content_provider(size, "font/ttf",
                           [shared, size](size_t offset, size_t length, httplib::DataSink& sink) {
                             char chunk[65536];
                             const size_t want = std::min({length, sizeof chunk, size - offset});
                             if (std::fseek(shared.get(), static_cast<long>(offset), SEEK_SET) != 0)
                               return false;
                             const size_t got = std::fread(chunk, 1, want, shared.get());
                             if (got == 0) return false;
                             sink.write(chunk, got);
                             return true;
                           });
}
