// The dictionary folders of data_folder.h on POSIX systems.
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/data_folder.h"

namespace {

bool readable(const std::string& path) {
  return access(path.c_str(), R_OK) == 0;
}

}  // namespace

std::string program_folder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string();
  path[n] = '\0';
  std::string program(path);
  size_t slash = program.rfind('/');
  return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

std::string reader_data_folder() {
  const char* data_home = std::getenv("XDG_DATA_HOME");
  if (data_home != nullptr && data_home[0] == '/') return std::string(data_home) + "/dodevuz";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return std::string();
  return std::string(home) + "/.local/share/dodevuz";
}

bool holds_dictionary(const std::string& folder) {
  return !folder.empty() && readable(folder + "/edict") && readable(folder + "/edict.jdx") &&
         readable(folder + "/kanarom.cnv");
}

std::string installed_data_folder() {
  std::string bin = program_folder();
  if (bin.empty()) return std::string();
  for (const std::string& folder : {bin + "/../share/dodevuz", bin + "/data"}) {
    if (readable(folder + "/kanarom.cnv")) return folder;
  }
  return std::string();
}

std::vector<std::string> reader_data_folders() {
  std::string folder = reader_data_folder();
  if (folder.empty()) return {};
  return {folder};
}
