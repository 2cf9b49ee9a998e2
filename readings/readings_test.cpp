// The commonness of a reading: tags alone, tags with a small ranked
// dictionary written here, and the file read through pages checked against
// a plain reading of it whole, on generated files and on the real one.
#include "readings/readings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <set>

#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::hex;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

ReadingUse use_of(std::string_view utf8_line) {
  const std::string line = euc(utf8_line);
  return reading_use(line);
}

class ReadingsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_readings(); }
  void TearDown() override { reset_readings(); }
  ScratchDir dir;
};

TEST_F(ReadingsTest, TagsAloneWhenNoRankedDictionaryIsRead) {
  readings.looked_for = true;  // as if none were found
  EXPECT_EQ(use_of("渋谷 [しぶや] /(p,s) Shibuya/").tags, 2);
  EXPECT_EQ(use_of("田中 [たなか] /(p,s,f) Tanaka/").tags, 3);
  EXPECT_EQ(use_of("あき /(f) Aki/").tags, 1);
  EXPECT_EQ(use_of("渋谷 [しぶや] /Shibuya/").tags, 0);
  EXPECT_FALSE(use_of("渋谷 [しぶや] /(p,s) Shibuya/").listed);
  EXPECT_TRUE(use_of("渋谷 [しだや] /(s) Shidaya/") < use_of("渋谷 [しぶや] /(p,s) Shibuya/"));
}

TEST_F(ReadingsTest, ListedReadingAndItsCompoundsOutweighTags) {
  // Written out of order, and with an okuri-ari section whose readings must
  // not count: the file is sorted when read.
  write_file(kReadingsFile, euc(";; okuri-ari entries.\n"
                                "しぶやr /渋谷/\n"
                                ";; okuri-nasi entries.\n"
                                "しぶや /渋谷/澁谷/\n"
                                "しぶたに /渋谷/\n"
                                "しぶやく /渋谷区/\n"
                                "しぶやえき /渋谷駅;station/\n"
                                "しだ /羊歯/\n"
                                "しぶたにがわ /渋谷川/\n"));
  ASSERT_TRUE(load_readings(kReadingsFile));
  readings.looked_for = true;
  const ReadingUse shibuya = use_of("渋谷 [しぶや] /(p,s) Shibuya/");
  const ReadingUse shibutani = use_of("渋谷 [しぶたに] /(p,s) Shibutani/");
  const ReadingUse shidaya = use_of("渋谷 [しだや] /(p,s,f) Shidaya/");
  EXPECT_TRUE(shibuya.listed);
  EXPECT_EQ(shibuya.compounds, 2);  // 渋谷区 and 渋谷駅, its annotation apart
  EXPECT_EQ(shibutani.compounds, 1);
  EXPECT_FALSE(shidaya.listed);
  EXPECT_TRUE(shibutani < shibuya);
  EXPECT_TRUE(shidaya < shibutani);  // three tags do not outweigh a listed reading
  // A kana headword is its own reading.
  EXPECT_TRUE(use_of("しだ /(s) Shida/").listed == false);
  // What was said of a reading is forgotten with the file it came from.
  write_file("other", euc(";; okuri-nasi entries.\nしぶや /渋/\n"));
  ASSERT_TRUE(load_readings("other"));
  EXPECT_FALSE(use_of("渋谷 [しぶや] /(p,s) Shibuya/").listed);
  EXPECT_EQ(use_of("渋谷 [しぶや] /(p,s) Shibuya/").compounds, 0);
}

TEST_F(ReadingsTest, UnreadableOrEmptyFileKeepsNothing) {
  write_file("empty", "");
  EXPECT_FALSE(load_readings("empty"));
  EXPECT_FALSE(load_readings("missing"));
  write_file("comments", ";; nothing but comments\n;; okuri-nasi entries.\n");
  EXPECT_FALSE(load_readings("comments"));
  EXPECT_TRUE(readings.lines.empty());
  EXPECT_TRUE(readings.text.empty());
}

// The ranked dictionary read plainly: the whole file split into lines, the
// entry lines after the heading sorted by reading, and each use counted
// over them.
class WholeFile {
 public:
  explicit WholeFile(std::string bytes) : text_(std::move(bytes)) {
    std::vector<std::string_view> all;
    for (size_t at = 0; at <= text_.size();) {
      const size_t eol = std::min(text_.find('\n', at), text_.size());
      all.emplace_back(text_.data() + at, eol - at);
      at = eol + 1;
    }
    size_t first = 0;
    for (size_t i = 1; i < all.size(); ++i) {
      if (all[i].starts_with(";; okuri-nasi entries.")) {
        first = i;
        break;
      }
    }
    for (size_t i = first; i < all.size(); ++i) {
      if (!all[i].empty() && all[i][0] != ';' && all[i].find(" /") != std::string_view::npos) {
        entries_.push_back(all[i]);
      }
    }
    std::stable_sort(entries_.begin(), entries_.end(), [](std::string_view a, std::string_view b) {
      return reading(a) < reading(b);
    });
  }

  ReadingUse use(std::string_view headword, std::string_view r) const {
    ReadingUse use{false, 0, 0};
    auto it =
        std::lower_bound(entries_.begin(), entries_.end(), r,
                         [](std::string_view e, std::string_view x) { return reading(e) < x; });
    for (size_t n = 0; it != entries_.end() && n < kMaxCompoundLines; ++it, ++n) {
      const std::string_view er = reading(*it);
      if (!er.starts_with(r)) break;
      std::string_view rest = it->substr(er.size() + 1);
      for (size_t slash; (slash = rest.find('/')) != std::string_view::npos;) {
        rest.remove_prefix(slash + 1);
        std::string_view word = rest.substr(0, rest.find('/'));
        word = word.substr(0, word.find(';'));
        if (word.empty()) continue;
        if (er == r && word == headword) use.listed = true;
        if (er != r && word.size() > headword.size() && word.starts_with(headword)) {
          ++use.compounds;
        }
      }
    }
    return use;
  }

 private:
  static std::string_view reading(std::string_view line) { return line.substr(0, line.find(' ')); }
  std::string text_;
  std::vector<std::string_view> entries_;
};

// Checks reading_use against the plain reading for each headword and
// reading, twice (the second time from what was kept); the count of listed
// pairs, to show the check meant something.
int expect_same_uses(const WholeFile& whole, const std::vector<std::string>& headwords,
                     const std::vector<std::string>& readings_asked) {
  int listed = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& r : readings_asked) {
      for (const std::string& h : headwords) {
        const ReadingUse want = whole.use(h, r);
        const ReadingUse got = reading_use(h + " [" + r + "] /(p,s) x/");
        EXPECT_EQ(got.listed, want.listed) << hex(h) << " [" << hex(r) << "]";
        EXPECT_EQ(got.compounds, want.compounds) << hex(h) << " [" << hex(r) << "]";
        EXPECT_EQ(got.tags, 2);
        listed += got.listed && pass == 0;
      }
    }
  }
  return listed;
}

// A ranked dictionary of some 140 kB: readings of one to four of four kana,
// many of them alike, words of one to three of four kanji, annotations,
// comments and a line without words among the entries, three lines longer
// than a page (one longer than two), and an okuri-ari section out of order
// before the heading.
struct Generated {
  std::string bytes;
  std::vector<std::string> headwords;
  std::vector<std::string> readings;  // every reading of the file, prefixes and absent ones
};

Generated generated_file(bool in_order, bool final_newline) {
  const std::vector<std::string> kana = {"\xA4\xA2", "\xA4\xAB", "\xA4\xB5", "\xA5\xA2"};
  const std::vector<std::string> kanji = {"\xB4\xC1", "\xBB\xFA", "\xC5\xC4", "\xE1\xA5"};
  std::mt19937 rng(24);
  auto pick = [&rng](const std::vector<std::string>& from, int most) {
    std::string out;
    for (int n = 1 + static_cast<int>(rng() % most); n > 0; --n) out += from[rng() % from.size()];
    return out;
  };
  Generated g;
  std::set<std::string> headwords, readings_seen;
  std::vector<std::pair<std::string, std::string>> entries;  // reading, words
  for (int i = 0; i < 2500; ++i) {
    const std::string r = pick(kana, 4);
    std::string words = "/";
    const int count = i % 500 == 7 ? 2000 + (i % 3) * 2000 : 1 + static_cast<int>(rng() % 4);
    for (int w = 0; w < count; ++w) {
      const std::string word = pick(kanji, 3);
      headwords.insert(word);
      words += word + (rng() % 5 == 0 ? ";note/" : "/");
    }
    entries.emplace_back(r, words);
    readings_seen.insert(r);
  }
  if (in_order) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  g.bytes = ";; okuri-ari entries.\n\xA4\xB5r /\xB4\xC1/\n\xA4\xA2r /\xBB\xFA/\n";
  g.bytes += ";; okuri-nasi entries.\n";
  for (size_t i = 0; i < entries.size(); ++i) {
    g.bytes += entries[i].first + " " + entries[i].second + "\n";
    if (i % 97 == 5) g.bytes += ";; a comment among the entries\n";
    if (i % 211 == 9) g.bytes += "\n\xA5\xA2 no words\n";
  }
  if (!final_newline) g.bytes.pop_back();
  g.headwords.assign(headwords.begin(), headwords.end());
  g.headwords.resize(std::min<size_t>(g.headwords.size(), 10));
  for (const std::string& r : readings_seen) {
    g.readings.push_back(r);
    g.readings.push_back(r + "\xA4\xA2\xA4\xA2\xA4\xA2\xA4\xA2");  // longer than any
  }
  g.readings.push_back("\xA4");
  g.readings.push_back("\xA4\xA1");     // below every reading
  g.readings.push_back("\xA5\xA3");     // above every reading
  g.readings.push_back("\xA4\xB5r");    // only in the okuri-ari section
  g.readings.push_back("\xA5\xA2 no");  // only in a line without words
  return g;
}

TEST_F(ReadingsTest, PagedReadingAgreesWithTheWholeFileRead) {
  for (const bool final_newline : {true, false}) {
    const Generated g = generated_file(true, final_newline);
    ASSERT_GT(g.bytes.size(), (kReadingsPages + 2) * size_t{kReadingsPageSize});
    write_file("ordered", g.bytes);
    ASSERT_TRUE(load_readings("ordered"));
    readings.looked_for = true;
    EXPECT_NE(readings.file, kFileError);
    EXPECT_TRUE(readings.text.empty());
    EXPECT_TRUE(readings.lines.empty());
    EXPECT_GT(expect_same_uses(WholeFile(g.bytes), g.headwords, g.readings), 100);
    reset_readings();
  }
}

// A file cut short while it is open (rewritten by its package, say) ends
// where the reads stop: every search still ends, within the bytes read.
TEST_F(ReadingsTest, FileCutShortWhileOpenEndsWhereTheReadsStop) {
  const Generated g = generated_file(true, true);
  write_file("ordered", g.bytes);
  ASSERT_TRUE(load_readings("ordered"));
  readings.looked_for = true;
  std::filesystem::resize_file("ordered", 3 * kReadingsPageSize + 100);
  for (const std::string& r : g.readings) reading_use(g.headwords[0] + " [" + r + "] /x/");
  EXPECT_LE(readings.size, 3 * kReadingsPageSize + 100);
}

TEST_F(ReadingsTest, FileOutOfOrderIsReadWholeAndAgreesToo) {
  const Generated g = generated_file(false, true);
  write_file("shuffled", g.bytes);
  ASSERT_TRUE(load_readings("shuffled"));
  readings.looked_for = true;
  EXPECT_EQ(readings.file, kFileError);
  EXPECT_FALSE(readings.text.empty());
  EXPECT_GT(expect_same_uses(WholeFile(g.bytes), g.headwords, g.readings), 100);
}

// The names dictionary's readings against the input method's own file, when
// both are here.
TEST_F(ReadingsTest, PagedReadingAgreesOnTheRealFiles) {
  const std::string names = std::string(DODEVUZ_SOURCE_DATA_DIR) + "/../dict/enamdict";
  const std::string ranked = read_file(kSystemReadingsFile);
  std::ifstream in(names, std::ios::binary);
  if (ranked.empty() || !in) {
    GTEST_SKIP() << "no " << kSystemReadingsFile << " or " << names << " (make full-dict)";
  }
  ASSERT_TRUE(load_readings(kSystemReadingsFile));
  readings.looked_for = true;
  EXPECT_TRUE(readings.text.empty()) << "the input method's file is in order";
  const WholeFile whole(ranked);
  // Every 200th entry of the names dictionary ("渋谷 [しぶや] /(p,s) Shibuya/").
  int asked = 0, listed = 0, compounds = 0;
  for (std::string line; std::getline(in, line);) {
    for (int skip = 1; skip < 200; ++skip) {
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    const size_t open = line.find(" [");
    const size_t close = line.find("] ");
    if (open == std::string::npos || close == std::string::npos || close < open) {
      continue;
    }
    const std::string_view headword = std::string_view(line).substr(0, open);
    const std::string_view r = std::string_view(line).substr(open + 2, close - open - 2);
    const ReadingUse want = whole.use(headword, r);
    const ReadingUse got = reading_use(line);
    EXPECT_EQ(got.listed, want.listed) << hex(line);
    EXPECT_EQ(got.compounds, want.compounds) << hex(line);
    ++asked;
    listed += got.listed;
    compounds += got.compounds > 0;
  }
  EXPECT_GT(asked, 3000);
  EXPECT_GT(listed, 100);
  EXPECT_GT(compounds, 30);
}

}  // namespace
