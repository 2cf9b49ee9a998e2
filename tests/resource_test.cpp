// What a long session holds: the files and memory blocks of the commands.
// Every file a Get opens is closed by "Clear All", "Exit" or the next Get,
// nothing grows over a thousand commands, and the memory of a Get does not
// grow with the dictionary, which is read through the page cache and never
// loaded whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "lookup/lookup.h"
#include "platform/in_memory.h"
#include "platform/recording.h"
#include "shell/shell.h"
#include "store/store.h"
#include "tests/testing.h"

namespace {

namespace fs = std::filesystem;
using testing_support::copy_sample_data;
using testing_support::read_file;
using testing_support::ScratchDir;

int main_window_object;
Window const kMain = &main_window_object;

int open_descriptors() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

// The most bytes of blocks held at once over the events from `first` on,
// counting the blocks live before them as `base` bytes.
size_t peak_block_bytes(size_t first, size_t base) {
  std::map<const void*, size_t> sizes;
  size_t live = base, peak = base;
  for (size_t i = first; i < desktop.events.size(); ++i) {
    const PlatformEvent& e = desktop.events[i];
    if (e.what == "alloc") {
      sizes[e.subject] = std::stoul(e.text);
      live += sizes[e.subject];
      peak = std::max(peak, live);
    } else if (e.what == "free" && sizes.count(e.subject) != 0) {
      live -= sizes[e.subject];
      sizes.erase(e.subject);
    }
  }
  return peak;
}

class ResourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_program_state();
  }
  void TearDown() override { reset_program_state(); }
  ScratchDir dir_;
};

TEST_F(ResourceTest, NoDescriptorOrBlockLeaksOverAThousandGets) {
  copy_sample_data();
  const std::string sjis = read_file(std::string(DODEVUZ_DATA_DIR) + "/samples/passage.sjis");
  const std::string jis = read_file(std::string(DODEVUZ_DATA_DIR) + "/samples/passage.jis");
  ASSERT_FALSE(sjis.empty());
  ASSERT_FALSE(jis.empty());

  const int before = open_descriptors();
  size_t blocks_after_first_get = 0;
  for (int i = 1; i <= 1000; ++i) {
    const bool use_jis = i % 3 == 0;
    set_clipboard_text(use_jis ? jis : sjis);
    dispatch_command(kMain, use_jis ? kCmdGetJis : kCmdGetShift);
    // edict and edict.jdx, and nothing else, are open after a Get.
    ASSERT_EQ(open_descriptors(), before + 2) << "after Get " << i;
    if (i == 1) blocks_after_first_get = recording.live_blocks;
    if (i % 50 == 0) {
      PaneRecord* listing = pane_record(shell.listing_pane);
      ASSERT_NE(listing, nullptr);
      listing->sel_start = 0;
      listing->sel_end = 4;
      dispatch_command(kMain, kCmdSingle);
      desktop.focus = shell.listing_pane;
      dispatch_command(kMain, kCmdCopy);
    }
    if (i % 100 == 0) {
      dispatch_command(kMain, kCmdClearAll);
      ASSERT_EQ(open_descriptors(), before) << "after Clear All " << i;
    }
  }
  ASSERT_TRUE(recording.messages.empty()) << recording.messages[0].text;
  // Each command's blocks replace the previous command's: the single and
  // copy buffers are the only ones added since the first Get.
  EXPECT_LE(recording.live_blocks, blocks_after_first_get + 2);

  dispatch_command(kMain, kCmdExit);
  EXPECT_EQ(open_descriptors(), before);
  EXPECT_EQ(store.text_handle[0], kFileError);
  EXPECT_EQ(store.index_handle[0], kFileError);
}

// The full dictionary (made by `make full-dict` into dict/, never committed).
const fs::path kFullDictionary = fs::path(DODEVUZ_SOURCE_DATA_DIR) / ".." / "dict";

// 40,000 bytes of Japanese in Shift-JIS: the corpus passage when `make
// corpus` has made it, else the sample passage over and over.
std::string long_passage() {
  std::string passage = read_file(
      (fs::path(DODEVUZ_SOURCE_DATA_DIR) / ".." / "corpus" / "passage-40k.sjis").string());
  if (!passage.empty()) return passage;
  const std::string sample = read_file(std::string(DODEVUZ_DATA_DIR) + "/samples/passage.sjis");
  while (passage.size() + sample.size() <= 40000) passage += sample;
  return passage;
}

// The bytes of memory blocks a Get holds at its peak, with the dictionary in dir.
size_t peak_of_get(const fs::path& dir, const std::string& passage) {
  reset_recording();
  reset_program_state();
  for (const char* name : {"edict", "edict.jdx"}) {
    fs::remove(name);
    fs::create_symlink(fs::absolute(dir / name), name);
  }
  set_clipboard_text(passage);
  dispatch_command(kMain, kCmdGetShift);
  EXPECT_TRUE(recording.messages.empty()) << recording.messages[0].text;
  return peak_block_bytes(0, 0);
}

TEST_F(ResourceTest, MemoryOfAGetDoesNotGrowWithTheDictionary) {
  if (!fs::exists(kFullDictionary / "edict") || !fs::exists(kFullDictionary / "edict.jdx")) {
    GTEST_SKIP() << "no full dictionary in " << kFullDictionary << " (make full-dict)";
  }
  copy_sample_data();
  fs::rename("edict", "sample-edict");
  fs::rename("edict.jdx", "sample-edict.jdx");
  fs::create_directory("sample");
  fs::rename("sample-edict", "sample/edict");
  fs::rename("sample-edict.jdx", "sample/edict.jdx");
  const std::string passage = long_passage();

  const size_t with_sample = peak_of_get("sample", passage);
  const size_t with_full = peak_of_get(kFullDictionary, passage);
  const uint64_t full_bytes =
      fs::file_size(kFullDictionary / "edict") + fs::file_size(kFullDictionary / "edict.jdx");
  // The page tables, 4 bytes per 0x3000-byte page of each file, are all that
  // may grow with the dictionary.
  const size_t tables = static_cast<size_t>(full_bytes / kPageSize + 2) * 4;
  RecordProperty("peak_bytes_sample", std::to_string(with_sample));
  RecordProperty("peak_bytes_full", std::to_string(with_full));
  EXPECT_LE(with_full, with_sample + tables)
      << "sample " << with_sample << " bytes, full " << with_full << " bytes";
  EXPECT_LT(with_full, size_t{2} << 20);
  // The dictionary went through the 48 frames many times over.
  EXPECT_GT(store.evictions, uint64_t{0});
  EXPECT_GT(full_bytes, uint64_t{10} * kDefaultFrameCount * kPageSize);
}

}  // namespace
