// The search for the dictionary folder, the same on every system; the
// folders themselves come from data_folder_posix.cpp or data_folder_win32.cpp.
#include "platform/data_folder.h"

#include "platform/platform.h"

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

bool holds_edict(const std::string& folder) {
  const std::string edict = folder.empty() ? std::string("edict") : folder + kSeparator + "edict";
  const int32_t file = file_open_read(edict.c_str());
  if (file == kFileError) return false;
  file_close(file);
  return true;
}

}  // namespace

DictionaryFolder find_dictionary_folder(const std::string& named) {
  DictionaryFolder found;
  if (!named.empty()) {
    found.path = named;
    found.source = FolderSource::kNamed;
    return found;
  }
  found.tried.push_back("the working directory");
  if (holds_edict("")) {
    found.source = FolderSource::kWorkingDirectory;
    return found;
  }
  for (const std::string& folder : reader_data_folders()) {
    found.tried.push_back(folder);
    if (holds_edict(folder)) {
      found.path = folder;
      found.source = FolderSource::kReaderFolder;
      return found;
    }
  }
  const std::string sample = installed_data_folder();
  if (!sample.empty()) {
    found.tried.push_back(sample);
    if (holds_edict(sample)) {
      found.path = sample;
      found.source = FolderSource::kSample;
      return found;
    }
  }
  found.source = FolderSource::kNone;
  return found;
}

std::string no_dictionary_message(const DictionaryFolder& found) {
  std::string message = "no dictionary (edict) found; looked in:";
  for (const std::string& folder : found.tried) message += "\n  " + folder;
  message += "\nMake your dictionary folder with `dodevuz setup`, or name one with -C DIR.";
  return message;
}

std::string sample_dictionary_note(const DictionaryFolder& found) {
  return "using the sample dictionary in " + found.path +
         " (a few hundred entries); `dodevuz setup` makes the full one";
}
