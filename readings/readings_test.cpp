// The commonness of a reading: tags alone, and tags with a small ranked
// dictionary written here.
#include "readings/readings.h"

#include <gtest/gtest.h>

#include "tests/testing.h"

namespace {

using testing_support::euc;
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

}  // namespace
