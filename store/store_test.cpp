// The dictionary store: slot opening, page tables, dict_byte and index_entry
// at their bounds, and the page cache's frame order and LRU eviction.
#include "store/store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "platform/recording.h"
#include "tests/testing.h"

namespace {

using testing_support::index_bytes;
using testing_support::ScratchDir;
using testing_support::write_file;

Window const kMain = reinterpret_cast<Window>(0x1234);

// A text of `pages` pages in which every byte of page n is n + 1, so a byte
// tells which page it came from; the last byte is a line end.
std::string paged_text(int pages) {
  std::string text;
  for (int n = 0; n < pages; ++n) text.append(kPageSize, static_cast<char>(n + 1));
  text.back() = '\n';
  return text;
}

// An index whose entry k holds k * 10 + 7, for k = 1 to count.
std::string counting_index(int count) {
  std::vector<int32_t> positions;
  for (int k = 1; k <= count; ++k) positions.push_back(k * 10 + 7);
  return index_bytes(positions);
}

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_store();
  }
  void TearDown() override { reset_store(); }

  void open(const std::string& text, const std::string& index) {
    write_file("edict", text);
    write_file("edict.jdx", index);
    open_dictionaries(kMain);
  }

  ScratchDir dir_;
};

TEST_F(StoreTest, TextPageTablesFollowTheFileSizePlusOne) {
  struct Case {
    size_t size;
    uint32_t length, pages;
  } cases[] = {{0x2FFF, 0x3000, 2}, {0x3000, 0x3001, 2}, {0, 1, 1}, {0x5FFF, 0x6000, 3}};
  for (const Case& c : cases) {
    open(std::string(c.size, 'a'), index_bytes({}));
    EXPECT_EQ(store.text_length[0], c.length) << c.size;
    ASSERT_EQ(store.text_page_count[0], c.pages) << c.size;
    for (uint32_t n = 0; n < c.pages; ++n) EXPECT_EQ(store.text_pages[0][n], -1);
  }
  EXPECT_TRUE(recording.messages.empty());
}

TEST_F(StoreTest, IndexEntryCountAndPagesFollowTheFileSize) {
  struct Case {
    size_t size;
    int32_t entries;
    uint32_t pages;
  } cases[] = {{0, -1, 1}, {4, 0, 1}, {8, 1, 1}, {10, 1, 1}, {0x3000, 3071, 2}, {0x3004, 3072, 2}};
  for (const Case& c : cases) {
    open("a\n", std::string(c.size, '\0'));
    EXPECT_EQ(store.index_size[0], c.size);
    EXPECT_EQ(store.entry_count[0], c.entries) << c.size;
    ASSERT_EQ(store.index_page_count[0], c.pages) << c.size;
    for (uint32_t n = 0; n < c.pages; ++n) EXPECT_EQ(store.index_pages[0][n], -1);
  }
}

TEST_F(StoreTest, DictByteReadsOneBasedPositionsAndLineEndsOutside) {
  std::string text = "xy" + std::string(0x3000 - 3, 'm') + "PQ" + std::string(10, 'z') + "E\n";
  const auto size = static_cast<int32_t>(text.size());
  open(text, index_bytes({}));
  const int64_t clock = store.use_clock;
  for (int32_t p : {0, -1, size + 1, size + 2, size + 3, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(dict_byte(p), 0x0A) << p;
  }
  // Outside the text the cache is not touched at all.
  EXPECT_EQ(store.use_clock, clock);
  EXPECT_EQ(store.page_loads, 0u);
  EXPECT_EQ(dict_byte(1), 'x');
  EXPECT_EQ(dict_byte(2), 'y');
  EXPECT_EQ(dict_byte(0x3000), 'P');  // last byte of page 0
  EXPECT_EQ(store.text_pages[0][1], -1);
  EXPECT_EQ(dict_byte(0x3001), 'Q');  // first byte of page 1
  EXPECT_EQ(store.text_pages[0][1], 1);
  EXPECT_EQ(dict_byte(size), '\n');
  EXPECT_EQ(dict_byte(size - 1), 'E');
  EXPECT_EQ(store.use_clock, clock + 6);
  EXPECT_EQ(store.text_misses[0], 2u);
  EXPECT_EQ(store.text_hits[0], 4u);
}

TEST_F(StoreTest, IndexEntryReadsLittleEndianWordsAcrossPages) {
  std::vector<int32_t> positions;
  for (int k = 1; k <= 3100; ++k) positions.push_back(k);
  positions[3070] = -2;          // entry 3071: last word of page 0
  positions[3071] = 0x12345678;  // entry 3072: first word of page 1
  open("a\n", index_bytes(positions) + "\x01\x02");
  EXPECT_EQ(store.entry_count[0], 3100);
  EXPECT_EQ(index_entry(0), 0);
  EXPECT_EQ(index_entry(1), 1);
  EXPECT_EQ(index_entry(3071), -2);
  EXPECT_EQ(store.index_pages[0][1], -1);
  EXPECT_EQ(index_entry(3072), 0x12345678);
  EXPECT_EQ(store.index_pages[0][1], 1);
  EXPECT_EQ(index_entry(3100), 3100);
  // The trailing partial word and anything beyond read as 0, untouched.
  const uint64_t loads = store.page_loads;
  EXPECT_EQ(index_entry(3101), 0);
  EXPECT_EQ(index_entry(-1), 0);
  EXPECT_EQ(store.page_loads, loads);
  EXPECT_EQ(store.index_misses[0], 2u);
  EXPECT_EQ(store.index_hits[0], 3u);
}

TEST_F(StoreTest, FramesAreCarvedFourToABlockAndFilledInOrder) {
  open(paged_text(50), index_bytes({}));
  EXPECT_TRUE(store.frames_ready);
  for (int k = 0; k < kDefaultFrameCount; ++k) {
    EXPECT_EQ(store.frame[k], memory_lock(store.frame_block[k / 4]) + (k % 4) * kPageSize);
    EXPECT_EQ(store.use_stamp[k], -1);
  }
  for (int b = 12; b < kMaxFrameBlocks; ++b) EXPECT_EQ(store.frame_block[b], nullptr);
  // Pages touched in a scattered order land in frames 0, 1, 2, ...
  const int order[] = {7, 3, 49, 0, 3, 7, 12};
  int next_frame = 0;
  for (int page : order) {
    const bool resident = store.text_pages[0][page] != -1;
    EXPECT_EQ(dict_byte(page * 0x3000 + 5), page + 1);
    if (!resident) {
      EXPECT_EQ(store.text_pages[0][page], next_frame++);
    }
  }
  EXPECT_EQ(store.page_loads, 5u);
  EXPECT_EQ(store.frame_owner[2], &store.text_pages[0][49]);
}

TEST_F(StoreTest, AMissEvictsTheLeastRecentlyUsedFrame) {
  open(paged_text(52), index_bytes({}));
  for (int page = 0; page < 48; ++page) dict_byte(page * 0x3000 + 1);
  EXPECT_EQ(store.evictions, 0u);
  dict_byte(1);  // a hit refreshes page 0, so page 1 is now the oldest
  EXPECT_EQ(store.page_loads, 48u);
  EXPECT_EQ(dict_byte(48 * 0x3000 + 1), 49);
  EXPECT_EQ(store.text_pages[0][48], 1);
  EXPECT_EQ(store.text_pages[0][1], -1);
  EXPECT_EQ(store.evictions, 1u);
  // Page 1 is a miss again and takes the frame of page 2, the oldest now.
  EXPECT_EQ(dict_byte(1 * 0x3000 + 1), 2);
  EXPECT_EQ(store.text_pages[0][1], 2);
  EXPECT_EQ(store.text_pages[0][2], -1);
  EXPECT_EQ(store.text_pages[0][0], 0);  // kept fresh, never the victim
  EXPECT_EQ(store.evictions, 2u);
  EXPECT_EQ(store.page_loads, 50u);
}

TEST_F(StoreTest, EqualStampsEvictTheLowerFrame) {
  open(paged_text(49), index_bytes({}));
  for (int page = 0; page < 48; ++page) dict_byte(page * 0x3000 + 1);
  store.use_stamp[9] = 0;
  store.use_stamp[5] = 0;
  dict_byte(48 * 0x3000 + 1);
  EXPECT_EQ(store.text_pages[0][48], 5);
  EXPECT_EQ(store.text_pages[0][5], -1);
  EXPECT_EQ(store.text_pages[0][9], 9);
}

// A large cache finds its victim block by block; the page it evicts is
// still the one used longest ago, as a list of the pages in their order of
// use says, through thousands of hits and misses.
TEST_F(StoreTest, ALargeCacheEvictsThePageUsedLongestAgo) {
  constexpr int kFrames = 600, kPages = 700;
  reset_store(kFrames);
  open(paged_text(kPages), index_bytes({}));
  std::list<int> used;  // pages resident, the most recent first
  uint32_t seed = 12345;
  for (int access = 0; access < 6000; ++access) {
    seed = seed * 1103515245u + 12345u;
    // Now and then a run over the same few pages, as a search makes.
    const int page = static_cast<int>((seed >> 8) % (access % 3 == 0 ? 40 : kPages));
    int evicted = -1;
    if (const auto at = std::find(used.begin(), used.end(), page); at != used.end()) {
      used.erase(at);
    } else if (static_cast<int>(used.size()) == kFrames) {
      evicted = used.back();
      used.pop_back();
    }
    used.push_front(page);
    ASSERT_EQ(dict_byte(page * 0x3000 + 1), static_cast<unsigned char>(page + 1));
    if (evicted >= 0) {
      ASSERT_EQ(store.text_pages[0][evicted], -1) << "access " << access;
    }
  }
  EXPECT_GT(store.evictions, 300u);
}

TEST_F(StoreTest, TextAndIndexPagesShareTheFrames) {
  open(paged_text(3), counting_index(3072 * 48));
  dict_byte(1);
  dict_byte(0x3000 + 1);
  for (int page = 0; page < 46; ++page)
    EXPECT_EQ(index_entry(page * 3072 + 1), page * 3072 * 10 + 17);
  EXPECT_EQ(store.evictions, 0u);
  // The text pages are the oldest: index pages 46 and 47 take their frames.
  index_entry(46 * 3072 + 1);
  EXPECT_EQ(store.text_pages[0][0], -1);
  EXPECT_EQ(store.index_pages[0][46], 0);
  index_entry(47 * 3072 + 1);
  EXPECT_EQ(store.text_pages[0][1], -1);
  EXPECT_EQ(store.index_pages[0][47], 1);
  // And the reverse: a text page evicts index page 0, now the oldest.
  EXPECT_EQ(dict_byte(2 * 0x3000 + 1), 3);
  EXPECT_EQ(store.index_pages[0][0], -1);
  EXPECT_EQ(store.text_pages[0][2], 2);
  EXPECT_EQ(store.evictions, 3u);
}

TEST_F(StoreTest, ASecondOpenFreesEveryFrameWhileTheClockGoesOn) {
  open(paged_text(2), counting_index(10));
  dict_byte(1);
  index_entry(3);
  const size_t blocks = recording.live_blocks;
  const int64_t clock = store.use_clock;
  open_dictionaries(kMain);
  EXPECT_EQ(recording.live_blocks, blocks);  // the previous blocks were freed
  EXPECT_NE(store.frame_block[0], nullptr);
  for (int k = 0; k < kDefaultFrameCount; ++k) EXPECT_EQ(store.use_stamp[k], -1);
  EXPECT_EQ(store.text_pages[0][0], -1);
  EXPECT_EQ(store.index_pages[0][0], -1);
  EXPECT_EQ(store.use_clock, clock);
  EXPECT_EQ(index_entry(3), 37);
  EXPECT_EQ(store.index_pages[0][0], 0);
  EXPECT_EQ(store.use_stamp[0], clock);
  EXPECT_EQ(store.page_loads, 3u);
}

TEST_F(StoreTest, ARaisedFrameCountHoldsMorePages) {
  reset_store(10);
  open(paged_text(11), index_bytes({}));
  EXPECT_NE(store.frame_block[2], nullptr);  // 10 frames take 3 blocks
  EXPECT_EQ(store.frame_block[3], nullptr);
  for (int page = 0; page < 10; ++page) dict_byte(page * 0x3000 + 1);
  EXPECT_EQ(store.evictions, 0u);
  EXPECT_EQ(dict_byte(10 * 0x3000 + 1), 11);
  EXPECT_EQ(store.text_pages[0][0], -1);
  EXPECT_EQ(store.evictions, 1u);
}

// A file that shrinks after its size was taken (or a read that fails) must
// not serve the bytes of the page that the frame held before.
TEST_F(StoreTest, AShortPageReadReadsAsLineEndsNotTheFramesOldBytes) {
  reset_store(1);  // one frame, so page 1 is read over page 0's bytes
  const std::string text = paged_text(2);
  open(text, counting_index(3));
  EXPECT_EQ(dict_byte(0x3000 - 1), 1);
  EXPECT_EQ(index_entry(2), 27);  // the index page evicts the text page
  write_file("edict", text.substr(0, 0x3000 + 3));
  write_file("edict.jdx", "");
  EXPECT_EQ(dict_byte(0x3000 + 3), 2);  // still in the file
  for (int32_t p : {0x3000 + 4, 0x3000 + 100, 2 * 0x3000 - 1}) EXPECT_EQ(dict_byte(p), 0x0A) << p;
  // An index page that comes back empty: every byte a line end, never the
  // text page's bytes that the frame held.
  EXPECT_EQ(index_entry(2), 0x0A0A0A0A);
  EXPECT_EQ(store.evictions, 3u);
}

TEST_F(StoreTest, AMissingTextFileIsReportedAndTheIndexStillOpened) {
  write_file("edict.jdx", counting_index(5));
  open_dictionaries(kMain);
  ASSERT_EQ(recording.messages.size(), 2u);
  EXPECT_EQ(recording.messages[0].text, "Cannot open dictionary file:");
  EXPECT_EQ(recording.messages[0].caption, "edict");
  EXPECT_EQ(recording.messages[0].owner, kMain);
  EXPECT_EQ(recording.messages[1].text, "Stat() error");
  EXPECT_EQ(recording.messages[1].caption, " ");
  EXPECT_EQ(store.text_handle[0], kFileError);
  EXPECT_EQ(store.text_length[0], 1u);
  EXPECT_EQ(store.text_page_count[0], 1u);
  EXPECT_NE(store.index_handle[0], kFileError);
  EXPECT_EQ(store.entry_count[0], 5);
  EXPECT_EQ(dict_byte(1), 0x0A);
  EXPECT_EQ(index_entry(2), 27);
  EXPECT_FALSE(slot_ready(0));
}

TEST_F(StoreTest, AMissingIndexIsReportedUnderTheDictionaryCaption) {
  write_file("edict", "a\n");
  std::filesystem::create_directory("edict.jdx");  // opens on POSIX, but is no file
  open_dictionaries(kMain);
  ASSERT_EQ(recording.messages.size(), 2u);
  EXPECT_EQ(recording.messages[0].text, "Cannot open dictionary index file:");
  EXPECT_EQ(recording.messages[0].caption, "edict");
  EXPECT_EQ(recording.messages[1].text, "Stat() error");
  EXPECT_EQ(store.entry_count[0], -1);
  EXPECT_EQ(store.index_page_count[0], 1u);
  EXPECT_EQ(index_entry(0), 0);
  EXPECT_EQ(dict_byte(1), 'a');
}

TEST_F(StoreTest, PageTablesThatCannotBeHadLeaveNothingToRead) {
  // A 0x3000-byte text has a table of 2 elements (8 bytes); a 12-byte index
  // one of 1 element (4 bytes).
  recording.alloc_fails = [](size_t size) { return size == 8; };
  open(std::string(0x2FFF, 'a') + "\n", counting_index(2));
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].text, "malloc() for dictionary page-table failed");
  EXPECT_EQ(recording.messages[0].caption, "edict");
  EXPECT_EQ(store.text_pages[0], nullptr);
  EXPECT_EQ(dict_byte(1), 0x0A);
  EXPECT_EQ(index_entry(1), 17);
  EXPECT_FALSE(slot_ready(0));

  recording.messages.clear();
  recording.alloc_fails = nullptr;
  recording.lock_fails = [](size_t size) { return size == 4; };
  open_dictionaries(kMain);
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].text, "malloc() for index page-table failed");
  EXPECT_EQ(index_entry(1), 0);
  EXPECT_EQ(dict_byte(1), 'a');
  EXPECT_FALSE(slot_ready(0));
}

TEST_F(StoreTest, FramesThatCannotBeHadLeaveNothingToRead) {
  int blocks_asked = 0;
  recording.alloc_fails = [&](size_t size) {
    return size == kFrameBlockSize && ++blocks_asked == 5;
  };
  open("abc\n", index_bytes({1, 2, 3}));
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].text, "malloc failed for virtual buffers!");
  EXPECT_EQ(recording.messages[0].caption, " ");
  EXPECT_FALSE(store.frames_ready);
  for (MemoryBlock block : store.frame_block) EXPECT_EQ(block, nullptr);
  EXPECT_EQ(store.entry_count[0], 3);  // the dictionary is still opened
  EXPECT_EQ(dict_byte(1), 0x0A);
  EXPECT_EQ(index_entry(1), 0);
  EXPECT_EQ(store.page_loads, 0u);
  EXPECT_FALSE(slot_ready(0));

  // The next command that gets its frames reads again.
  recording.alloc_fails = nullptr;
  recording.messages.clear();
  open_dictionaries(kMain);
  EXPECT_TRUE(recording.messages.empty());
  EXPECT_EQ(dict_byte(1), 'a');
  EXPECT_TRUE(slot_ready(0));
}

TEST_F(StoreTest, ClosingASlotClosesBothFilesOnce) {
  open("abc\n", counting_index(3));
  EXPECT_TRUE(slot_ready(0));
  close_dictionary(0);
  EXPECT_EQ(store.text_handle[0], kFileError);
  EXPECT_EQ(store.index_handle[0], kFileError);
  EXPECT_EQ(dict_byte(1), 0x0A);
  EXPECT_EQ(index_entry(1), 0);
  close_dictionary(0);  // nothing left to close
  EXPECT_FALSE(slot_ready(0));
}

TEST_F(StoreTest, ReopeningOneSlotFreesTheFramesOfItsOldTables) {
  open(paged_text(3), counting_index(3));
  dict_byte(1);
  index_entry(1);
  dict_byte(0x3000 + 1);
  open_dictionary(kMain, 0);  // new tables; frames 0 to 2 belong to no one now
  for (int k = 0; k < 3; ++k) EXPECT_EQ(store.use_stamp[k], -1);
  EXPECT_EQ(dict_byte(2 * 0x3000 + 1), 3);
  EXPECT_EQ(store.text_pages[0][2], 0);
}

// The line reads a page at a time must leave the cache exactly as the walk of
// single dict_byte calls that they replace: same bytes, hits, misses, loads,
// evictions, stamps and clock, across page boundaries and evictions.
TEST_F(StoreTest, LineReadsLeaveTheCacheAsByteByByteWalksWould) {
  // Lines of many lengths, some running over a page boundary, one with a NUL.
  std::string text;
  for (int n = 0; text.size() < 3 * kPageSize + 500; ++n) {
    text.append(static_cast<size_t>((n * 7919) % 700 + 1), static_cast<char>('a' + n % 26));
    if (n == 20) text.push_back('\0');
    text.push_back('\n');
  }
  struct Snapshot {
    std::vector<int32_t> results;
    std::string bytes;
    uint64_t hits, misses, loads, evictions;
    int64_t clock;
    std::vector<int64_t> stamps;
    std::vector<int32_t> pages;
    bool operator==(const Snapshot&) const = default;
  };
  const int32_t size = static_cast<int32_t>(text.size());
  const std::vector<int32_t> starts = {1,        2, 0x3000, 0x3001, 0x2FF0, 0x6001, size - 3, size,
                                       size + 1, 0, -4,     9000,   0x5FFF, 12345,  30000};
  auto run = [&](bool by_bytes) {
    reset_store(2);  // two frames, so the walks evict
    open(text, index_bytes({}));
    Snapshot s{};
    for (int32_t p : starts) {
      int32_t end;
      if (by_bytes) {
        end = p;
        while (dict_byte(end) != 0x0A) --end;
      } else {
        end = dict_line_end_before(p);
      }
      s.results.push_back(end);
      unsigned char line[200];
      int32_t n = 0;
      if (by_bytes) {
        for (int32_t q = p; n < 150; ++q) {
          const unsigned char b = dict_byte(q);
          if (b == 0x0A || b == 0) break;
          line[n++] = b;
        }
      } else {
        n = dict_copy_line(p, line, 150);
      }
      s.results.push_back(n);
      s.bytes.append(reinterpret_cast<char*>(line), static_cast<size_t>(n));
    }
    s.hits = store.text_hits[0];
    s.misses = store.text_misses[0];
    s.loads = store.page_loads;
    s.evictions = store.evictions;
    s.clock = store.use_clock;
    s.stamps.assign(store.use_stamp, store.use_stamp + store.frame_count);
    s.pages.assign(store.text_pages[0], store.text_pages[0] + store.text_page_count[0]);
    return s;
  };
  const Snapshot walked = run(true);
  const Snapshot read = run(false);
  EXPECT_TRUE(walked == read);
  EXPECT_EQ(walked.bytes, read.bytes);
  EXPECT_EQ(walked.results, read.results);
  EXPECT_GT(walked.evictions, 0u);
}

// ---- Further dictionary slots ------------------------------------------------

TEST_F(StoreTest, FurtherSlotsOpenOnlyWithBothFilesAndSilently) {
  write_file("edict", "a\n");
  write_file("edict.jdx", index_bytes({1}));
  write_file("enamdict", "b\n");                 // no enamdict.jdx
  write_file("userdict.jdx", index_bytes({1}));  // no userdict
  open_dictionaries(kMain);
  EXPECT_TRUE(recording.messages.empty());
  EXPECT_TRUE(slot_ready(0));
  for (int slot = 1; slot < kSlotCount; ++slot) {
    EXPECT_FALSE(slot_ready(slot)) << slot;
    EXPECT_EQ(store.text_handle[slot], kFileError) << slot;
    EXPECT_EQ(store.text_pages[slot], nullptr) << slot;
  }

  write_file("enamdict.jdx", index_bytes({1}));
  write_file("userdict", "c\n");
  open_dictionaries(kMain);
  EXPECT_TRUE(recording.messages.empty());
  for (int slot = 0; slot < kNamedSlots; ++slot) EXPECT_TRUE(slot_ready(slot)) << slot;
  EXPECT_STREQ(store.text_path[1], "enamdict");
  EXPECT_STREQ(store.index_path[2], "userdict.jdx");
  EXPECT_FALSE(slot_ready(kNamedSlots));
  const char expected[] = {'a', 'b', 'c'};
  for (int slot = 0; slot < kNamedSlots; ++slot) {
    store.current_slot = slot;
    EXPECT_EQ(dict_byte(1), expected[slot]) << slot;
  }

  // Gone again by the next Get: closed, its tables freed, nothing said.
  std::filesystem::remove("enamdict");
  open_dictionaries(kMain);
  EXPECT_TRUE(recording.messages.empty());
  EXPECT_FALSE(slot_ready(1));
  EXPECT_EQ(store.text_pages[1], nullptr);
  store.current_slot = 1;
  EXPECT_EQ(dict_byte(1), 0x0A);
  EXPECT_EQ(index_entry(1), 0);
  EXPECT_TRUE(slot_ready(2));
}

TEST_F(StoreTest, SlotZeroAloneAllocatesAndOpensAsBefore) {
  // The extra slots cost nothing when their files are absent: the same
  // blocks, the same handles, no message.
  write_file("edict", paged_text(2));
  write_file("edict.jdx", counting_index(3));
  const size_t before = recording.live_blocks;
  open_dictionaries(kMain);
  const size_t frame_blocks = kDefaultFrameCount / kFramesPerBlock;
  EXPECT_EQ(recording.live_blocks - before, frame_blocks + 2);  // frames, two tables
  EXPECT_TRUE(recording.messages.empty());
  EXPECT_TRUE(any_slot_open());
  for (int slot = 0; slot < kSlotCount; ++slot) close_dictionary(slot);
  EXPECT_FALSE(any_slot_open());
}

TEST_F(StoreTest, SharedFramesServeEachSlotOnlyItsOwnPages) {
  // Three frames for two slots whose pages are told apart by their bytes:
  // slot 0's page n holds n + 1, slot 1's holds 'A' + n.
  reset_store(3);
  write_file("edict", paged_text(4));
  write_file("edict.jdx", counting_index(2));
  std::string names;
  for (int n = 0; n < 4; ++n) names.append(kPageSize, static_cast<char>('A' + n));
  names.back() = '\n';
  write_file("enamdict", names);
  write_file("enamdict.jdx", counting_index(2));
  open_dictionaries(kMain);
  ASSERT_TRUE(slot_ready(0));
  ASSERT_TRUE(slot_ready(1));

  // The same page numbers of both slots, in an order that evicts each slot's
  // pages while the other's stay, and back.
  const int order[][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 0}, {1, 2}, {1, 0}, {0, 2},
                          {0, 0}, {1, 3}, {0, 3}, {1, 0}, {0, 1}, {1, 1}, {0, 0}, {1, 0}};
  for (const auto& [slot, page] : order) {
    store.current_slot = slot;
    const unsigned char want = slot == 0 ? page + 1 : 'A' + page;
    const int32_t position = page * static_cast<int32_t>(kPageSize) + 1;
    EXPECT_EQ(dict_byte(position), want) << "slot " << slot << " page " << page;
    EXPECT_EQ(dict_byte(position + 100), want) << "slot " << slot << " page " << page;
    // Index words of the slot come through the same frames.
    EXPECT_EQ(index_entry(2), 27);
  }
  EXPECT_GT(store.evictions, 0u);
  EXPECT_GT(store.text_misses[1], 0u);
  // No frame is mapped by two page tables at once.
  for (int f = 0; f < store.frame_count; ++f) {
    int owners = 0;
    for (int slot = 0; slot < 2; ++slot) {
      for (uint32_t n = 0; n < store.text_page_count[slot]; ++n)
        owners += store.text_pages[slot][n] == f;
      for (uint32_t n = 0; n < store.index_page_count[slot]; ++n)
        owners += store.index_pages[slot][n] == f;
    }
    EXPECT_LE(owners, 1) << "frame " << f;
  }

  // Reopening one slot frees only its own frames.
  store.current_slot = 0;
  dict_byte(1);
  open_dictionary(kMain, 1);
  store.current_slot = 0;
  const uint64_t loads = store.page_loads;
  EXPECT_EQ(dict_byte(1), 1);
  EXPECT_EQ(store.page_loads, loads);
}

}  // namespace

// The checks an opening makes of an index without walking its text: each
// damage is reported once, under the index's name, and an index that passes
// (entries in order, none, or all equal) is opened without a word.
TEST(IndexFault, OpeningReportsAnIndexThatCannotBelongToItsText) {
  ScratchDir dir;
  // Entries 1, 5 and 9 of "cab\ndab\nbab\n" read "cab", "dab", "bab": in
  // order they are 9, 1, 5.
  const std::string text = "cab\ndab\nbab\n";
  struct Case {
    const char* what;
    std::string text, index;
    const char* fault;  // nullptr: passes
  } cases[] = {
      {"in order", text, index_bytes({9, 1, 5}), nullptr},
      {"no entries", text, index_bytes({}), nullptr},
      {"an empty file", text, "", nullptr},
      // "yab" before "Zab" only as the lookup folds capitals.
      {"capitals fold", "Zab\nyab\n", index_bytes({5, 1}), nullptr},
      {"cut inside an entry", text, index_bytes({9, 1, 5}).substr(0, 14),
       "its length is not a whole number of entries"},
      {"a byte too many", text, index_bytes({9, 1, 5}) + "x",
       "its length is not a whole number of entries"},
      {"first entry 0", text, index_bytes({0, 1, 5}),
       "its first entry lies outside the dictionary"},
      {"first entry negative", text, index_bytes({-5, 1, 5}),
       "its first entry lies outside the dictionary"},
      {"last entry past the text", text, index_bytes({9, 1, 13}),
       "its last entry lies outside the dictionary"},
      {"last entry INT_MIN", text, index_bytes({9, 1, INT32_MIN}),
       "its last entry lies outside the dictionary"},
      {"first after last", text, index_bytes({5, 1, 9}),
       "its first and last entries are out of order"},
  };
  for (const Case& c : cases) {
    reset_recording();
    reset_store();
    write_file("edict", c.text);
    write_file("edict.jdx", c.index);
    const int32_t text_file = file_open_read("edict");
    const int32_t index_file = file_open_read("edict.jdx");
    const char* fault = index_fault(text_file, static_cast<uint32_t>(c.text.size()), index_file,
                                    static_cast<uint32_t>(c.index.size()));
    file_close(text_file);
    file_close(index_file);
    EXPECT_STREQ(fault, c.fault) << c.what;

    open_dictionaries(kMain);
    EXPECT_EQ(store.index_damaged[0], c.fault != nullptr) << c.what;
    if (c.fault == nullptr) {
      EXPECT_TRUE(recording.messages.empty()) << c.what;
    } else {
      ASSERT_EQ(recording.messages.size(), 1u) << c.what;
      EXPECT_EQ(recording.messages[0].text, kIndexMismatchText);
      EXPECT_EQ(recording.messages[0].caption, "edict.jdx");
    }
  }
  reset_store();
}

TEST(IndexFault, AnOptionalDictionarysDamagedIndexIsReportedUnderItsName) {
  ScratchDir dir;
  reset_recording();
  reset_store();
  write_file("edict", "a\n");
  write_file("edict.jdx", index_bytes({1}));
  write_file("enamdict", "b\n");
  write_file("enamdict.jdx", index_bytes({1}) + "zz");
  open_dictionaries(kMain);
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].caption, "enamdict.jdx");
  EXPECT_FALSE(store.index_damaged[0]);
  EXPECT_TRUE(store.index_damaged[1]);
  reset_store();
}
