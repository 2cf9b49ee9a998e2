// The reader's dictionary folder follows the XDG rules, and a folder counts
// as a dictionary only with all three files readable.
#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/testing.h"

namespace {

using testing_support::ScratchDir;
using testing_support::write_file;

// Sets (or, for nullopt, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ReaderDataFolder, XdgDataHomeWhenAbsoluteElseUnderHome) {
  ScopedEnv home("HOME", "/home/reader");
  {
    ScopedEnv xdg("XDG_DATA_HOME", "/data");
    EXPECT_EQ(reader_data_folder(), "/data/dodevuz");
  }
  for (std::optional<std::string> ignored :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("relative/data")}) {
    ScopedEnv xdg("XDG_DATA_HOME", ignored);
    EXPECT_EQ(reader_data_folder(), "/home/reader/.local/share/dodevuz");
  }
  ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
  ScopedEnv no_home("HOME", std::nullopt);
  EXPECT_EQ(reader_data_folder(), "");
}

TEST(HoldsDictionary, OnlyWithEdictItsIndexAndTheRomajiTable) {
  ScratchDir dir;
  EXPECT_FALSE(holds_dictionary(""));
  EXPECT_FALSE(holds_dictionary(dir.path()));
  write_file("edict", "x\n");
  write_file("edict.jdx", "");
  EXPECT_FALSE(holds_dictionary(dir.path()));
  write_file("kanarom.cnv", "");
  EXPECT_TRUE(holds_dictionary(dir.path()));
  EXPECT_FALSE(holds_dictionary(dir.path() + "/missing"));
}

}  // namespace
