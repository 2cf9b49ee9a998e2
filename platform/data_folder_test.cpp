// The reader's dictionary folder follows the XDG rules, and a folder counts
// as a dictionary only with all three files readable.
#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

TEST(FindDictionaryFolder, NamedThenWorkingDirectoryThenReaderFolderElseNone) {
  ScratchDir dir;
  const std::string reader_home = dir.path() + "/data";
  ScopedEnv xdg("XDG_DATA_HOME", reader_home);
  ScopedEnv home("HOME", dir.path());
  // The sample data of the program running (none beside a test program).
  const std::string sample = installed_data_folder();

  // -C DIR is taken as it is, dictionary or not.
  DictionaryFolder found = find_dictionary_folder("/no/such/folder");
  EXPECT_EQ(found.source, FolderSource::kNamed);
  EXPECT_EQ(found.path, "/no/such/folder");

  // Nothing anywhere: the message names every folder tried and the remedy.
  found = find_dictionary_folder("");
  if (sample.empty()) {
    EXPECT_EQ(found.source, FolderSource::kNone);
    const std::string message = no_dictionary_message(found);
    EXPECT_NE(message.find("the working directory"), std::string::npos) << message;
    EXPECT_NE(message.find(reader_home + "/dodevuz"), std::string::npos) << message;
    EXPECT_NE(message.find("dodevuz setup"), std::string::npos) << message;
  }

  // The reader's folder counts once it holds edict, even without the rest
  // (the usual messages then name what is missing).
  std::filesystem::create_directories(reader_home + "/dodevuz");
  write_file(reader_home + "/dodevuz/edict.jdx", "");
  EXPECT_NE(find_dictionary_folder("").source, FolderSource::kReaderFolder);
  write_file(reader_home + "/dodevuz/edict", "x\n");
  found = find_dictionary_folder("");
  EXPECT_EQ(found.source, FolderSource::kReaderFolder);
  EXPECT_EQ(found.path, reader_home + "/dodevuz");

  // The working directory comes before it.
  write_file("edict", "x\n");
  found = find_dictionary_folder("");
  EXPECT_EQ(found.source, FolderSource::kWorkingDirectory);
  EXPECT_EQ(found.path, "");
}

}  // namespace
