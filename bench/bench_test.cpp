// The benchmark's own parts that its figures rest on: the replacement
// counts replayed on a page trace, and the reference store's reads, which
// must answer as the page cache's do.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "bench/replacement.h"
#include "platform/recording.h"
#include "store/store.h"
#include "tests/testing.h"

// The reference store's line reads (reference_store.cpp).
int32_t dict_line_end_before(int32_t position);
int32_t dict_copy_line(int32_t position, unsigned char* out, int32_t max);

namespace {

using testing_support::index_bytes;
using testing_support::ScratchDir;
using testing_support::write_file;

TEST(Replacement, TheTextbookTraceNeedsTwelveLoadsUnderLruAndNineAtBest) {
  const std::vector<uint32_t> trace = {7, 0, 1, 2, 0, 3, 0, 4, 2, 3, 0, 3, 2, 1, 2, 0, 1, 7, 0, 1};
  EXPECT_EQ(lru_loads(trace, 3), 12u);
  EXPECT_EQ(optimal_loads(trace, 3), 9u);
  EXPECT_EQ(distinct_pages(trace), 6u);
  // Room for every page: each is loaded once.
  EXPECT_EQ(lru_loads(trace, 6), 6u);
  EXPECT_EQ(optimal_loads(trace, 6), 6u);
  EXPECT_EQ(lru_loads({}, 3), 0u);
}

TEST(Replacement, OptimalNeverLoadsMoreThanLruAndMoreFramesNeverHurtEither) {
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<uint32_t> trace(300);
    for (uint32_t& page : trace) page = random() % 20;
    uint64_t lru_before = trace.size() + 1, optimal_before = trace.size() + 1;
    for (int frames = 1; frames <= 21; ++frames) {
      const uint64_t lru = lru_loads(trace, frames), optimal = optimal_loads(trace, frames);
      EXPECT_LE(optimal, lru) << frames << " frames";
      EXPECT_GE(optimal, distinct_pages(trace));
      // LRU and optimal replacement are stack algorithms: no anomaly.
      EXPECT_LE(lru, lru_before);
      EXPECT_LE(optimal, optimal_before);
      lru_before = lru;
      optimal_before = optimal;
    }
  }
}

// A text of lines of several lengths, an empty line and a line with a NUL
// (a damaged dictionary) among them.
class ReferenceStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text_ = std::string("first line\n\nsecond, a little longer\nx\nda\0maged\nlast\n", 52);
    write_file("edict", text_);
    write_file("edict.jdx", index_bytes({1, 12, 13, 37}));
    reset_recording();
    reset_store();
    open_dictionaries(nullptr);
    ASSERT_TRUE(recording.messages.empty());
  }
  void TearDown() override { reset_store(); }

  ScratchDir dir_;
  std::string text_;
};

TEST_F(ReferenceStoreTest, ReadsBytesAndEntriesAsTheCacheDoes) {
  EXPECT_EQ(store.entry_count[0], 4);
  EXPECT_EQ(index_entry(2), 12);
  EXPECT_EQ(index_entry(4), 37);
  EXPECT_EQ(index_entry(5), 0);  // past the file
  EXPECT_EQ(dict_byte(1), 'f');
  EXPECT_EQ(dict_byte(static_cast<int32_t>(text_.size())), '\n');
  EXPECT_EQ(dict_byte(41), 0);
  for (int32_t p : {0, -1, static_cast<int32_t>(text_.size()) + 1, INT32_MIN}) {
    EXPECT_EQ(dict_byte(p), 0x0A) << p;
  }
}

TEST_F(ReferenceStoreTest, LineReadsAgreeWithTheWalkOfSingleBytes) {
  const auto size = static_cast<int32_t>(text_.size());
  for (int32_t p = -2; p <= size + 3; ++p) {
    int32_t back = p;
    while (dict_byte(back) != 0x0A) --back;
    EXPECT_EQ(dict_line_end_before(p), back) << "position " << p;
    for (int32_t max : {0, 1, 3, 198}) {
      std::string walked;
      for (int32_t q = p;
           static_cast<int32_t>(walked.size()) < max && dict_byte(q) != 0x0A && dict_byte(q) != 0;
           ++q) {
        walked.push_back(static_cast<char>(dict_byte(q)));
      }
      unsigned char out[200] = {};
      const int32_t n = dict_copy_line(p, out, max);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), walked)
          << "position " << p << ", at most " << max;
    }
  }
}

}  // namespace
