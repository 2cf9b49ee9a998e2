// The dictionary folders of data_folder.h on Windows: the program's own
// folder (a copy unpacked where the reader keeps it) and dodevuz in the
// user's application-data folder; the sample data lies in the program's
// data folder.
#include <windows.h>

#include <cstdlib>

#include "platform/data_folder.h"
#include "platform/platform.h"

namespace {

bool readable(const std::string& path) {
  const int32_t file = file_open_read(path.c_str());
  if (file == kFileError) return false;
  file_close(file);
  return true;
}

}  // namespace

std::string program_folder() {
  char path[MAX_PATH + 1];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  path[n] = '\0';
  std::string program(path);
  const size_t slash = program.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

std::string reader_data_folder() {
  const char* app_data = std::getenv("APPDATA");
  if (app_data == nullptr || app_data[0] == '\0') return std::string();
  return std::string(app_data) + "\\dodevuz";
}

bool holds_dictionary(const std::string& folder) {
  return !folder.empty() && readable(folder + "\\edict") && readable(folder + "\\edict.jdx") &&
         readable(folder + "\\kanarom.cnv");
}

std::string installed_data_folder() {
  const std::string bin = program_folder();
  if (bin.empty()) return std::string();
  const std::string folder = bin + "\\data";
  return readable(folder + "\\kanarom.cnv") ? folder : std::string();
}

std::vector<std::string> reader_data_folders() {
  std::vector<std::string> folders;
  for (const std::string& folder : {program_folder(), reader_data_folder()}) {
    if (!folder.empty()) folders.push_back(folder);
  }
  return folders;
}
