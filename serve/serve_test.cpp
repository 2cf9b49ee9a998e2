// `dodevuz serve` against a running server: the API's answers (items of the
// listing walk, pages of a long text, Single, About), and each safety check
// (Host and Origin, body bound, malformed requests, no files served, slow
// clients, the end on SIGINT, the files the process opens).
#include "serve/serve.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kanji/kanji.h"
#include "serve/json_text.h"
#include "serve/senses.h"
#include "serve/serve_testing.h"
#include "store/store.h"
#include "tests/testing.h"

namespace {

using nlohmann::json;
using serve_testing::http_exchange;
using serve_testing::ServerProcess;
using serve_testing::status_of;
using testing_support::ScratchDir;

const std::string kPassage = "日本語を勉強して三年になります。毎朝、電車で新聞を読みます。鬱";

class ServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    testing_support::copy_sample_data();
    testing_support::write_file("deinflect.txt",
                                testing_support::read_file(DODEVUZ_DATA_DIR "/deinflect.txt"));
    ServeOptions options;
    options.port = 0;
    options.timeout_seconds = 2;
    std::string error;
    port_ = serve_bind(options, &error);
    ASSERT_GT(port_, 0) << error;
    thread_ = new std::thread([] { serve_listen(); });
  }
  static void TearDownTestSuite() {
    serve_stop();
    thread_->join();
    delete thread_;
    reset_serve();
    delete dir_;
  }

  httplib::Client client() {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(10, 0);
    return c;
  }

  json post(const std::string& path, const json& body, int expect = 200) {
    auto c = client();
    auto res = c.Post(path.c_str(), body.dump(), "application/json");
    EXPECT_TRUE(res);
    if (!res) return json();
    EXPECT_EQ(res->status, expect) << res->body;
    // Every answer is written as the JSON library writes the same values,
    // whether built as a tree or written as it goes.
    EXPECT_EQ(json::parse(res->body).dump(), res->body) << path;
    return json::parse(res->body);
  }

  std::string request_with(const std::string& headers, const std::string& path = "/api/about") {
    return http_exchange(port_,
                         "GET " + path + " HTTP/1.1\r\n" + headers + "Connection: close\r\n\r\n");
  }
  std::string own_host() { return "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n"; }

  static ScratchDir* dir_;
  static std::thread* thread_;
  static int port_;
};

ScratchDir* ServerTest::dir_;
std::thread* ServerTest::thread_;
int ServerTest::port_;

// ---- The API ---------------------------------------------------------------

TEST_F(ServerTest, GetAnswersWithTheItemsOfTheListingWalk) {
  json page = post("/api/get", {{"text", kPassage}});
  ASSERT_TRUE(page["items"].is_array());
  // The items lie end to end over the whole text.
  std::string joined;
  long long offset = 0;
  for (const json& item : page["items"]) {
    EXPECT_EQ(item["offset"], offset);
    offset += item["length"].get<long long>();
    joined += item["text"].get<std::string>();
  }
  EXPECT_EQ(joined, kPassage);
  EXPECT_EQ(page["size"], offset);
  EXPECT_TRUE(page["next"].is_null());
  EXPECT_TRUE(page["notice"].is_null());
  EXPECT_EQ(page["lossless"], true);

  const json& first = page["items"][0];
  EXPECT_EQ(first["kind"], "word");
  EXPECT_EQ(first["text"], "日本語");
  EXPECT_EQ(first["headword"], "日本語");
  EXPECT_EQ(first["reading"], "にほんご");
  EXPECT_EQ(first["reading_romaji"], "nihongo");
  EXPECT_EQ(first["glosses"], json({"(n) the Japanese language", "(P)"}));
  EXPECT_EQ(first["line"], "日本語 [にほんご] /(n) the Japanese language/(P)/");
  EXPECT_EQ(
      page["items"][1],
      json({{"kind", "passed"}, {"offset", 6}, {"length", 2}, {"text", "を"}, {"romaji", "o"}}));
  const json& last = page["items"].back();
  EXPECT_EQ(last["kind"], "nomatch");
  EXPECT_EQ(last["text"], "鬱");
  EXPECT_FALSE(last.contains("line"));

  // Each word's line is the one the listing shows behind it.
  const std::string listing = page["listing"];
  for (const json& item : page["items"]) {
    if (item["kind"] != "word") continue;
    EXPECT_NE(listing.find(item["text"].get<std::string>() + "        " +
                           item["line"].get<std::string>() + "\n"),
              std::string::npos)
        << item["text"];
  }
  EXPECT_NE(page["romaji"].get<std::string>().find("o勉強"), std::string::npos);
}

TEST_F(ServerTest, ALongTextIsReadPageByPageWithoutLossOrOverlap) {
  std::string text;
  while (text.size() < 150000) text += kPassage + "\n";
  std::string joined;
  long long from = 0;
  int pages = 0, full_listings = 0;
  for (json page;; ++pages) {
    ASSERT_LT(pages, 100);
    page = post("/api/get", {{"text", text}, {"from", from}});
    ASSERT_EQ(page["from"], from);
    ASSERT_FALSE(page["items"].empty());
    ASSERT_EQ(page["items"][0]["offset"], from);
    for (const json& item : page["items"]) joined += item["text"].get<std::string>();
    if (page["next"].is_null()) {
      EXPECT_TRUE(page["notice"].is_null());
      EXPECT_EQ(page["complete"], true);
      break;
    }
    EXPECT_TRUE(page["notice"].is_string());
    EXPECT_EQ(page["complete"], false);
    // The listing's own notice, as the desktop program ends a full listing.
    if (page["listing_notice"].is_string()) {
      ++full_listings;
      EXPECT_NE(page["listing_notice"].get<std::string>().find("listing full"), std::string::npos);
    }
    const json& last = page["items"].back();
    EXPECT_EQ(page["next"], last["offset"].get<long long>() + last["length"].get<long long>());
    from = page["next"];
  }
  EXPECT_GT(pages, 3);
  EXPECT_GT(full_listings, 0);
  EXPECT_EQ(joined, text);
}

// Quotes, backslashes and control characters of the text are escaped in the
// items, the listing and the romaji pane, and read back as they were sent.
TEST_F(ServerTest, ATextWithQuotesAndControlCharactersComesBackAsSent) {
  const std::string text = "He said \"日本語\" \\ \t\x01\x1f\x7f /日本/\r\n三年";
  for (bool forms : {false, true}) {
    json page = post("/api/get", {{"text", text}, {"forms", forms}});
    std::string joined;
    for (const json& item : page["items"]) joined += item["text"].get<std::string>();
    EXPECT_EQ(joined, text);
    EXPECT_NE(page["listing"].get<std::string>().find("He said \"日本語"), std::string::npos);
    EXPECT_NE(page["romaji"].get<std::string>().find("\" \\ \t"), std::string::npos);
  }
}

TEST_F(ServerTest, SingleListsEveryEntryThatMatchesTheTextsStart) {
  json found = post("/api/single", {{"text", "日本語です"}});
  EXPECT_EQ(found["key"], "日本語です");
  ASSERT_GE(found["entries"].size(), 1u);
  EXPECT_EQ(found["entries"][0]["headword"], "日本語");
  EXPECT_EQ(found["entries"][0]["reading"], "にほんご");
  // Entries whose line holds the word anywhere match too.
  const json inside = post("/api/single", {{"text", "日"}});
  for (const json& e : inside["entries"]) {
    EXPECT_NE(e["line"].get<std::string>().find("日"), std::string::npos) << e["line"];
  }

  EXPECT_TRUE(post("/api/single", {{"text", "鬱"}})["entries"].empty());
  EXPECT_TRUE(post("/api/single", {{"text", ""}})["entries"].empty());
  // The key is the first 50 bytes of the text in EUC-JP, whole characters.
  std::string many;
  for (int i = 0; i < 40; ++i) many += "日";
  EXPECT_EQ(post("/api/single", {{"text", many}})["key"], many.substr(0, 25 * 3));
}

TEST_F(ServerTest, TheDictionaryFormsModeListsAConjugatedWordByItsEntry) {
  json page = post("/api/get", {{"text", "食べました。"}, {"forms", true}});
  ASSERT_EQ(page["items"].size(), 2u);
  const json& word = page["items"][0];
  EXPECT_EQ(word["text"], "食べました");
  EXPECT_EQ(word["length"], 10);
  EXPECT_EQ(word["form"], "(polite past of 食べる)");
  EXPECT_EQ(word["headword"], "食べる");
  EXPECT_EQ(word["reading"], "たべる");
  EXPECT_EQ(word["line"], "食べる [たべる] /(v1) to eat/(P)/");
  // Off, the classic listing: no form, the word as the walk finds it.
  json classic = post("/api/get", {{"text", "食べました。"}, {"forms", false}});
  EXPECT_FALSE(classic["items"][0].contains("form"));
  EXPECT_NE(classic["items"][0]["text"], "食べました");

  json single = post("/api/single", {{"text", "食べました"}, {"forms", true}});
  ASSERT_FALSE(single["entries"].empty());
  EXPECT_EQ(single["entries"][0]["form"], "(polite past of 食べる)");
  EXPECT_EQ(single["entries"][0]["headword"], "食べる");
  post("/api/get", {{"text", "a"}, {"forms", "yes"}}, 400);
}

TEST_F(ServerTest, AWordMarkedKnownLosesItsNewMarkAndAddToWordListTakesTheDictionarysEntry) {
  const auto known_of = [&](const json& page) {
    std::string marks;
    for (const json& item : page["items"]) {
      if (item["kind"] == "word") marks += item["known"].get<bool>() ? "K" : "n";
    }
    return marks;
  };
  EXPECT_EQ(known_of(post("/api/get", {{"text", "本を読む。本"}})), "nnn");
  json marked = post("/api/known", {{"headword", "本"}, {"reading", "ほん"}});
  EXPECT_EQ(marked["known"], true);
  EXPECT_EQ(marked["outcome"], "marked as known");
  EXPECT_EQ(known_of(post("/api/get", {{"text", "本を読む。本"}})), "KnK");
  EXPECT_EQ(
      post("/api/known", {{"headword", "本"}, {"reading", "ほん"}, {"known", false}})["known"],
      false);
  EXPECT_EQ(known_of(post("/api/get", {{"text", "本を読む。本"}})), "nnn");
  EXPECT_EQ(testing_support::read_file("known.tsv"), "本\tほん\n本\tほん\tremoved\n");

  // The word list gets the dictionary's line for the word, never the
  // request's own text; a word the dictionary lacks is refused.
  json added = post("/api/wordlist", {{"headword", "読む"},
                                      {"reading", "よむ"},
                                      {"sentence", "本を読んだ。"},
                                      {"form", "(past of 読む)"}});
  EXPECT_EQ(added["outcome"], "added");
  const std::string row = testing_support::read_file("wordlist.tsv");
  EXPECT_EQ(row.rfind("読む\tよむ\t(v5m) to read; to read aloud; (P)\t本を読んだ。\t", 0), 0u)
      << row;
  EXPECT_NE(row.find("\t(past of 読む)\n"), std::string::npos) << row;
  post("/api/wordlist", {{"headword", "読む<script>"}, {"reading", "よむ"}}, 404);
  post("/api/known", {{"reading", "よむ"}}, 400);
  post("/api/known", {{"headword", ""}}, 400);
  post("/api/known", {{"headword", std::string(300, 'a')}}, 400);
  EXPECT_EQ(testing_support::read_file("wordlist.tsv"), row);

  // known.tsv changed by another program between pages, and left alone.
  testing_support::write_file("known.tsv", "読む\tよむ\n");
  EXPECT_EQ(known_of(post("/api/get", {{"text", "本を読む。本"}})), "nKn");
  EXPECT_EQ(known_of(post("/api/get", {{"text", "本を読む。本"}})), "nKn");
  testing_support::write_file("known.tsv", "読む\tよむ\n本\t\n");
  EXPECT_EQ(known_of(post("/api/get", {{"text", "本を読む。本"}})), "KKK");
  std::remove("known.tsv");
  EXPECT_EQ(known_of(post("/api/get", {{"text", "本を読む。本"}})), "nnn");
  std::remove("wordlist.tsv");
}

// The page sends a window of what remains of a long text ("more": true) and
// reads on where the answer's next_chars says, counted in UTF-16 units as
// the page counts them, also past characters that have no EUC-JP code.
TEST_F(ServerTest, AWindowOfTheTextIsListedAndNextCharsSaysWhereToGoOn) {
  std::u16string text16;
  std::string text;
  while (text.size() < 60000) text += kPassage + "\xF0\x9F\x98\x80\n";  // and an emoji
  // The text as UTF-16 units: a window is cut from it as the page cuts it.
  std::vector<size_t> unit_starts;  // UTF-8 offset of each UTF-16 unit
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    unit_starts.push_back(i);
    if (n == 4) unit_starts.push_back(i);
    i += n;
  }
  unit_starts.push_back(text.size());
  const size_t units = unit_starts.size() - 1;
  std::string joined;
  size_t pos = 0;
  for (int pages = 0;; ++pages) {
    ASSERT_LT(pages, 200);
    const size_t end = std::min(units, pos + 3000);
    const std::string window = text.substr(unit_starts[pos], unit_starts[end] - unit_starts[pos]);
    json page = post("/api/get", {{"text", window}, {"more", end < units}, {"forms", true}});
    std::string listed;
    for (const json& item : page["items"]) listed += item["text"].get<std::string>();
    if (page["next"].is_null()) {
      EXPECT_EQ(end, units);
      joined += window;  // the emoji reads as the geta mark in the items
      break;
    }
    const size_t taken = page["next_chars"];
    ASSERT_GT(taken, 0u);
    ASSERT_LE(pos + taken, end);
    joined += text.substr(unit_starts[pos], unit_starts[pos + taken] - unit_starts[pos]);
    // The window's last characters are left for the next page, which sees
    // whole words there.
    EXPECT_LT(pos + taken, end);
    pos += taken;
  }
  EXPECT_EQ(joined, text);
  post("/api/get", {{"text", "a"}, {"more", 1}}, 400);
}

// Between requests the dictionary's pages stay in the cache: the same page
// asked again reads nothing from the files.
TEST_F(ServerTest, TheCacheStaysWarmBetweenRequests) {
  post("/api/get", {{"text", kPassage}, {"forms", true}});
  const uint64_t loads = store.page_loads;
  post("/api/get", {{"text", kPassage}, {"forms", true}});
  post("/api/entries", {{"text", "日本"}});
  EXPECT_EQ(store.page_loads, loads);
}

TEST_F(ServerTest, EntriesAreTheWordsOwnAndLongerOnesApart) {
  json found = post("/api/entries", {{"text", "日本"}});
  ASSERT_EQ(found["entries"].size(), 2u);
  // The common reading first, each with its senses and its dictionary.
  EXPECT_EQ(found["entries"][0]["reading"], "にほん");
  EXPECT_EQ(found["entries"][0]["common"], true);
  EXPECT_EQ(found["entries"][0]["dictionary"], "edict");
  EXPECT_EQ(found["entries"][0]["senses"][0]["glosses"], json({"Japan"}));
  EXPECT_EQ(found["entries"][0]["senses"][0]["pos"][0]["tag"], "n");
  EXPECT_EQ(found["entries"][1]["reading"], "にっぽん");
  std::set<std::string> longer;
  for (const json& e : found["longer"]) longer.insert(e["headword"]);
  EXPECT_TRUE(longer.count("日本語") && longer.count("日本人") && longer.count("日本茶"));
  EXPECT_EQ(found["longer_count"], found["longer"].size());
  // A reading names the word too, katakana alike; the dictionary form comes
  // along in the forms mode.
  EXPECT_EQ(post("/api/entries", {{"text", "ニホンゴ"}})["entries"][0]["headword"], "日本語");
  json eaten = post("/api/entries", {{"text", "食べました"}, {"also", "食べる"}});
  ASSERT_EQ(eaten["entries"].size(), 1u);
  EXPECT_EQ(eaten["entries"][0]["headword"], "食べる");
  EXPECT_TRUE(post("/api/entries", {{"text", "鬱"}})["entries"].empty());
  EXPECT_TRUE(post("/api/entries", {{"text", ""}})["entries"].empty());
  post("/api/entries", {{"text", "日本"}, {"also", 3}}, 400);
}

TEST_F(ServerTest, AWordIsAddedToTheWordListOnlyFromTheDictionaryAndOnce) {
  json added = post(
      "/api/wordlist",
      {{"headword", "日本語"}, {"reading", "にほんご"}, {"sentence", "日本語を\t勉強します。"}});
  EXPECT_EQ(added["outcome"], "added");
  EXPECT_EQ(post("/api/wordlist", {{"headword", "日本語"}, {"reading", "にほんご"}})["outcome"],
            "already");
  // Nothing the dictionary does not hold is written.
  post("/api/wordlist", {{"headword", "日本語"}, {"reading", "にっぽんご"}}, 404);
  post("/api/wordlist", {{"headword", "偽物\t語"}, {"reading", ""}}, 404);
  post("/api/wordlist", {{"reading", "にほんご"}}, 400);
  auto res = client().Get("/api/wordlist");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Disposition"), "attachment; filename=\"wordlist.tsv\"");
  EXPECT_EQ(res->body.rfind(
                "日本語\tにほんご\t(n) the Japanese language; (P)\t日本語を 勉強します。\t", 0),
            0u)
      << res->body;
  EXPECT_EQ(std::count(res->body.begin(), res->body.end(), '\n'), 1);
}

TEST_F(ServerTest, AboutNamesTheProgramAndItsDictionary) {
  auto c = client();
  auto res = c.Get("/api/about");
  ASSERT_TRUE(res);
  json about = json::parse(res->body);
  EXPECT_EQ(about["name"], "Dodevuz");
  EXPECT_GT(about["dictionary"]["entries"].get<long>(), 100);
  EXPECT_EQ(about["body_limit"], kServeBodyLimit);
  EXPECT_EQ(about["forms"], true);  // deinflect.txt is there
}

TEST_F(ServerTest, ThePageAndItsFilesAreServedWithTheirTypesAndPolicy) {
  auto c = client();
  auto page = c.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find("<title>Dodevuz reading page</title>"), std::string::npos);
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'none'"),
            std::string::npos);
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
  auto script = c.Get("/page.js");
  ASSERT_TRUE(script);
  EXPECT_EQ(script->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
  EXPECT_NE(script->body.find("/api/get"), std::string::npos);
  auto style = c.Get("/page.css");
  ASSERT_TRUE(style);
  EXPECT_NE(style->body.find("prefers-color-scheme: dark"), std::string::npos);
}

TEST_F(ServerTest, KanjiAnswersTheDetailsOfAWordsKanjiAndTheFontIsTheSystems) {
  testing_support::write_file(
      "kanjidic", testing_support::euc("# kanji for the tests/Copyright The Testers - 2024/\n"
                                       "日 467C U65e5 B72 G1 S4 F1 ニチ ひ T1 あき {day} {sun}\n"));
  reset_kanji();
  // A font folder of the test's own: the server reads the newest .ttf there.
  const std::string fonts = dir_->path() + "/fonts";
  ASSERT_EQ(mkdir(fonts.c_str(), 0755), 0);
  testing_support::write_file("fonts/Strokes_v1.ttf", "old font");
  testing_support::write_file("fonts/Strokes_v2.ttf", std::string(100000, 'f'));
  const char* system_fonts = stroke_order_font_dir;
  stroke_order_font_dir = fonts.c_str();

  json answer = post("/api/kanji", {{"text", "日本"}});
  EXPECT_EQ(answer["available"], true);
  EXPECT_EQ(answer["font"], true);
  ASSERT_EQ(answer["kanji"].size(), 2u) << answer.dump();
  const json& day = answer["kanji"][0];
  EXPECT_EQ(day["kanji"], "日");
  EXPECT_EQ(day["found"], true);
  EXPECT_EQ(day["meanings"], json({"day", "sun"}));
  EXPECT_EQ(day["on"], json({"ニチ"}));
  EXPECT_EQ(day["kun"], json({"ひ"}));
  EXPECT_EQ(day["names"], json({"あき"}));
  EXPECT_EQ(day["strokes"], 4);
  EXPECT_EQ(day["grade"], 1);
  EXPECT_EQ(day["frequency"], 1);
  EXPECT_EQ(answer["kanji"][1], json({{"kanji", "本"}, {"found", false}}));
  EXPECT_TRUE(post("/api/kanji", {{"text", "かな"}})["kanji"].empty());
  post("/api/kanji", {{"text", 5}}, 400);

  auto c = client();
  auto font = c.Get("/kanji-font.ttf");
  ASSERT_TRUE(font);
  EXPECT_EQ(font->status, 200);
  EXPECT_EQ(font->get_header_value("Content-Type"), "font/ttf");
  EXPECT_EQ(font->body, std::string(100000, 'f'));
  auto page = c.Get("/");
  ASSERT_TRUE(page);
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("font-src 'self'"),
            std::string::npos);
  auto script = c.Get("/kanji.js");
  ASSERT_TRUE(script);
  EXPECT_NE(script->body.find("/api/kanji"), std::string::npos);

  // Without the font package the page is told so, and the font is not there.
  stroke_order_font_dir = "/nonexistent";
  EXPECT_EQ(post("/api/kanji", {{"text", "日"}})["font"], false);
  auto none = c.Get("/kanji-font.ttf");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->status, 404);
  stroke_order_font_dir = system_fonts;

  // Without kanjidic the section is off.
  std::remove("kanjidic");
  reset_kanji();
  answer = post("/api/kanji", {{"text", "日"}});
  EXPECT_EQ(answer["available"], false);
  EXPECT_TRUE(answer["kanji"].empty());
}

// ---- Safety ----------------------------------------------------------------

TEST_F(ServerTest, AHostOtherThanTheServersOwnIsRefused) {
  EXPECT_EQ(status_of(request_with(own_host())), 200);
  EXPECT_EQ(status_of(request_with("Host: localhost:" + std::to_string(port_) + "\r\n")), 200);
  // A name of another site that resolves to 127.0.0.1 (DNS rebinding), the
  // right name at another port, no Host at all.
  for (const std::string& host : std::vector<std::string>{
           "Host: attacker.example:" + std::to_string(port_) + "\r\n", "Host: attacker.example\r\n",
           "Host: 127.0.0.1:" + std::to_string(port_ + 1) + "\r\n", "Host: 127.0.0.1\r\n",
           std::string()}) {
    const std::string answer = request_with(host);
    EXPECT_EQ(status_of(answer), 403) << host;
    EXPECT_NE(answer.find("{\"error\":"), std::string::npos) << host;
  }
  // Refused before routing: the page itself and the API alike.
  EXPECT_EQ(status_of(request_with("Host: attacker.example\r\n", "/")), 403);
}

TEST_F(ServerTest, AnOriginOtherThanTheServersOwnIsRefused) {
  const std::string port = std::to_string(port_);
  EXPECT_EQ(status_of(request_with(own_host() + "Origin: http://127.0.0.1:" + port + "\r\n")), 200);
  EXPECT_EQ(status_of(request_with(own_host() + "Origin: http://localhost:" + port + "\r\n")), 200);
  for (const std::string& origin : std::vector<std::string>{
           "http://attacker.example", "http://attacker.example:" + port, "null",
           "https://127.0.0.1:" + port, "http://127.0.0.1:" + port + ".attacker.example"}) {
    EXPECT_EQ(status_of(request_with(own_host() + "Origin: " + origin + "\r\n")), 403) << origin;
  }
  EXPECT_EQ(status_of(request_with(own_host() + "Sec-Fetch-Site: cross-site\r\n")), 403);

  // A cross-site POST as a form would send it never reaches the program.
  const std::string form = "text=%E6%97%A5";
  const std::string answer = http_exchange(
      port_, "POST /api/get HTTP/1.1\r\n" + own_host() +
                 "Origin: http://attacker.example\r\nContent-Type: "
                 "application/x-www-form-urlencoded\r\nContent-Length: " +
                 std::to_string(form.size()) + "\r\nConnection: close\r\n\r\n" + form);
  EXPECT_EQ(status_of(answer), 403);
}

TEST_F(ServerTest, ABodyOverTheBoundGets413) {
  auto c = client();
  // Just within the bound: served (only its first page is read).
  std::string text(kServeBodyLimit - 20, 'a');
  auto fits = c.Post("/api/get", json{{"text", text}}.dump(), "application/json");
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->status, 200);
  std::string over = json{{"text", std::string(kServeBodyLimit, 'a')}}.dump();
  auto res = c.Post("/api/get", over, "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);
  // A length announced over the bound is refused before the body is sent.
  const std::string answer = http_exchange(
      port_, "POST /api/get HTTP/1.1\r\n" + own_host() +
                 "Content-Type: application/json\r\nContent-Length: 99999999\r\n\r\n{");
  EXPECT_EQ(status_of(answer), 413);
}

TEST_F(ServerTest, MalformedRequestsGet400WithAMessage) {
  auto c = client();
  for (const std::string& body : std::vector<std::string>{
           std::string("not json"), std::string("[\"text\"]"), std::string("{}"),
           std::string("{\"text\": 3}"), std::string("{\"text\": \"a\\u0000b\"}"),
           std::string("{\"text\": \"\xFF\xFE\"}"),  // not UTF-8
           std::string("{\"text\": \"abc\", \"from\": -1}"),
           std::string("{\"text\": \"abc\", \"from\": 4}"),
           std::string("{\"text\": \"abc\", \"from\": 1.5}"),
           std::string("{\"text\": \"abc\", \"from\": \"1\"}"),
           std::string("{\"text\": \"\xE6\x97\xA5\", \"from\": 1}"),  // inside a character
       }) {
    auto res = c.Post("/api/get", body, "application/json");
    ASSERT_TRUE(res) << body;
    EXPECT_EQ(res->status, 400) << body;
    json answer = json::parse(res->body, nullptr, false);
    EXPECT_TRUE(answer.is_object() && answer["error"].is_string()) << res->body;
  }
  auto single = c.Post("/api/single", "{\"text\": [1]}", "application/json");
  ASSERT_TRUE(single);
  EXPECT_EQ(single->status, 400);
  auto typed = c.Post("/api/get", "{\"text\": \"a\"}", "text/plain");
  ASSERT_TRUE(typed);
  EXPECT_EQ(typed->status, 415);
}

TEST_F(ServerTest, NoFileOfTheFolderIsServed) {
  for (const std::string& path :
       std::vector<std::string>{"/edict", "/edict.jdx", "/kanarom.cnv", "/../edict",
                                "/%2e%2e/edict", "/page.js/../edict", "/./edict", "/index.html",
                                "/serve/page/index.html", "/etc/passwd", "/..%2f..%2fetc/passwd"}) {
    const std::string answer = request_with(own_host(), path);
    EXPECT_EQ(status_of(answer), 404) << path;
    EXPECT_EQ(answer.find("/Dodevuz sample dictionary"), std::string::npos) << path;
  }
}

TEST_F(ServerTest, ASlowClientDoesNotStallOthersAndIsDroppedAfterTheTimeOut) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string half = "POST /api/get HTTP/1.1\r\n" + own_host() + "Content-Len";
  send(fd, half.data(), half.size(), MSG_NOSIGNAL);

  // Meanwhile another client is served at once.
  const auto asked = std::chrono::steady_clock::now();
  json page = post("/api/get", {{"text", kPassage}});
  EXPECT_FALSE(page["items"].empty());
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1800));

  // The stalled one is answered (408 or 400) and closed once the time-out
  // (2 s here) has passed.
  bool closed = false;
  for (int reads = 0; reads < 100 && !closed; ++reads) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) break;
    char buffer[256];
    closed = recv(fd, buffer, sizeof buffer, 0) <= 0;
  }
  EXPECT_TRUE(closed);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(6));
  close(fd);
}

// ---- The process -----------------------------------------------------------

// What a shell command prints on standard output.
std::string command_output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

TEST(ServeProcess, PrintsItsAddressAndEndsCleanlyOnCtrlC) {
  for (int signal_number : {SIGINT, SIGTERM}) {
    ServerProcess server;
    ASSERT_TRUE(server.start({}, DODEVUZ_DATA_DIR));
    httplib::Client c("127.0.0.1", server.port);
    auto res = c.Get("/api/about");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(server.stop(signal_number), 0);
  }
}

TEST(ServeProcess, RefusesToStartWithoutTheDictionaryOrOnAPortInUse) {
  ScratchDir empty;
  const std::string command = std::string(DODEVUZ_BINARY_DIR "/dodevuz serve --port 0 -C ") +
                              empty.path() + " >/dev/null 2>&1";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);

  ServerProcess first;
  ASSERT_TRUE(first.start({}, DODEVUZ_DATA_DIR));
  const std::string again = std::string(DODEVUZ_BINARY_DIR "/dodevuz serve --port ") +
                            std::to_string(first.port) + " -C " DODEVUZ_DATA_DIR " >/dev/null 2>&1";
  EXPECT_EQ(WEXITSTATUS(std::system(again.c_str())), 1);
  EXPECT_EQ(first.stop(SIGINT), 0);
}

// The server is a program of its own: dodevuz loads neither the HTTP library
// nor the TLS libraries it brings (some 4 MB resident in every process), and
// its serve command says so when dodevuz-serve is not beside it.
TEST(ServeProcess, DodevuzLoadsNoServerLibrariesAndNeedsTheServerBesideIt) {
  const std::string loaded =
      command_output("LD_TRACE_LOADED_OBJECTS=1 " DODEVUZ_BINARY_DIR "/dodevuz");
  EXPECT_NE(loaded.find("libstdc++"), std::string::npos) << loaded;
  for (const char* library : {"httplib", "libssl", "libcrypto"}) {
    EXPECT_EQ(loaded.find(library), std::string::npos) << library << " in\n" << loaded;
  }
  EXPECT_NE(command_output("LD_TRACE_LOADED_OBJECTS=1 " DODEVUZ_BINARY_DIR "/dodevuz-serve")
                .find("httplib"),
            std::string::npos);

  ScratchDir alone;
  const std::string copy = alone.path() + "/dodevuz";
  ASSERT_EQ(std::system(("cp " DODEVUZ_BINARY_DIR "/dodevuz " + copy).c_str()), 0);
  const std::string message = alone.path() + "/message";
  const std::string command = copy + " serve --port 0 -C " DODEVUZ_DATA_DIR " 2>" + message;
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
  const std::string text = testing_support::read_file(message);
  EXPECT_NE(text.find("built without the server"), std::string::npos) << text;
  // Its usage errors and help need no server.
  EXPECT_EQ(WEXITSTATUS(std::system((copy + " serve --port 0 extra 2>/dev/null").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((copy + " serve --help >/dev/null").c_str())), 0);
}

// Every file the process opens once it listens, traced by strace: only the
// dictionary's three (and the table of the "Dictionary forms" mode),
// whatever the requests ask for.
TEST(ServeProcess, OpensNoFileButTheDictionarysThree) {
  if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  ScratchDir dir;
  const std::string log = dir.path() + "/trace";
  ServerProcess server;
  ASSERT_TRUE(server.start(
      {"strace", "-f", "-qq", "-e", "trace=open,openat,openat2,creat,listen", "-o", log},
      DODEVUZ_DATA_DIR));
  httplib::Client c("127.0.0.1", server.port);
  c.Get("/");
  c.Get("/page.js");
  c.Get("/../../../../etc/passwd");
  c.Get("/edict");
  c.Post("/api/get", json{{"text", kPassage + "../../etc/passwd"}}.dump(), "application/json");
  c.Post("/api/get", json{{"text", kPassage}, {"from", 3}}.dump(), "application/json");
  c.Post("/api/single", json{{"text", "/etc/passwd"}}.dump(), "application/json");
  c.Post("/api/get", json{{"text", "食べました"}, {"forms", true}}.dump(), "application/json");
  c.Get("/api/about");
  EXPECT_EQ(server.stop(SIGINT), 0);

  std::ifstream in(log);
  std::string line;
  bool listening = false;
  std::set<std::string> opened;
  static const std::regex open_call(R"re((open|openat|openat2|creat)\((AT_FDCWD, )?"([^"]*)")re");
  while (std::getline(in, line)) {
    if (line.find("listen(") != std::string::npos) listening = true;
    std::smatch m;
    if (listening && std::regex_search(line, m, open_call)) opened.insert(m[3]);
  }
  EXPECT_TRUE(listening);
  // The C library's memory allocator reads one setting of the kernel when a
  // worker thread first allocates; that is no file of the machine's users.
  opened.erase("/proc/sys/vm/overcommit_memory");
  for (const std::string& path : opened) {
    EXPECT_TRUE(path == "edict" || path == "edict.jdx" || path == "kanarom.cnv" ||
                path == "deinflect.txt" || path == "known.tsv" || path == "wordlist.tsv")
        << path;
  }
  EXPECT_TRUE(opened.count("edict") && opened.count("kanarom.cnv"));
}

TEST(JsonText, StringsAreEscapedAsTheJsonLibraryEscapesThem) {
  // Every ASCII byte alone and amid other characters, and UTF-8 as it stands.
  std::vector<std::string> texts{"", "日本語 かな \xF0\x9F\x98\x80", "a/b<c>&'"};
  for (int c = 1; c < 0x80; ++c) {
    texts.push_back(std::string(1, static_cast<char>(c)));
    texts.push_back("日" + std::string(2, static_cast<char>(c)) + "本");
  }
  // The byte to escape at each place of a longer text, read eight at a time.
  for (char c : {'"', '\\', '\n', '\x1f', '\x7f', ' '}) {
    for (size_t at = 0; at < 24; ++at) {
      std::string text = "abcdefghijklmnopqrstuvwx日本語";
      text.insert(at, 1, c);
      texts.push_back(text);
    }
  }
  for (const std::string& text : texts) {
    std::string out = "x";
    append_json_string(&out, text);
    EXPECT_EQ(out, "x" + json(text).dump()) << text;
  }
}

TEST(JsonText, MembersAreWrittenAsTheJsonLibraryWritesAnObject) {
  std::string out = "[{";
  append_json_key(&out, "a");
  append_json_number(&out, -12);
  append_json_key(&out, "b");
  append_json_bool(&out, false);
  append_json_key(&out, "c");
  out += "{";
  append_json_key(&out, "d");
  append_json_number(&out, INT64_MAX);
  out += "}}]";
  EXPECT_EQ(out, json::array({{{"a", -12}, {"b", false}, {"c", {{"d", INT64_MAX}}}}}).dump());
}

TEST(Senses, TheLinesOwnMarkersAndTagsGroupTheGlosses) {
  // (P) is the common mark, not a sense; tags before a marker belong to it.
  SenseList s = group_senses({"(adj-i) (1) old", "aged", "(adj-i) (2) (uk) stale", "corny", "(P)"});
  EXPECT_TRUE(s.common);
  ASSERT_EQ(s.senses.size(), 2u);
  EXPECT_EQ(s.senses[0].glosses, (std::vector<std::string>{"old", "aged"}));
  EXPECT_EQ(s.senses[0].pos, (std::vector<std::string>{"adj-i"}));
  EXPECT_EQ(s.senses[1].glosses, (std::vector<std::string>{"stale", "corny"}));
  EXPECT_EQ(s.senses[1].labels, (std::vector<std::string>{"uk"}));
  // Without markers the glosses are synonyms of one sense; a parenthesis
  // that is no tag stays the gloss's own text.
  s = group_senses({"(v5r,vt) (to) take", "to pick up", "EntL1234X"});
  EXPECT_FALSE(s.common);
  ASSERT_EQ(s.senses.size(), 1u);
  EXPECT_EQ(s.senses[0].glosses, (std::vector<std::string>{"(to) take", "to pick up"}));
  EXPECT_EQ(s.senses[0].pos, (std::vector<std::string>{"v5r", "vt"}));
  // A name's tags; a marker with nothing before it opens the first sense.
  s = group_senses({"(s,f) Hanako"});
  EXPECT_EQ(s.senses[0].labels, (std::vector<std::string>{"s", "f"}));
  s = group_senses({"(1) one", "(2) two", "(3)"});
  EXPECT_EQ(s.senses.size(), 2u);  // an empty last sense says nothing
  EXPECT_TRUE(group_senses({}).senses.empty());
  EXPECT_STREQ(tag_meaning("uk"), "usually written in kana");
  EXPECT_EQ(tag_meaning("to"), nullptr);
}

}  // namespace
