// `dodevuz setup`: the reader's own dictionary folder, made from the full
// dictionary of Debian's edict package. The dictionary is used in place
// through a link (it is large and the package keeps it up to date); the
// index and the romaji table are the reader's own files beside it.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/cli.h"
#include "index/build_index.h"
#include "platform/data_folder.h"

const char kUsageSetup[] =
    "usage: dodevuz setup [--edict FILE] [--table FILE] [--folder DIR]\n"
    "  Makes the reader's dictionary folder DIR ($XDG_DATA_HOME/dodevuz, or\n"
    "  ~/.local/share/dodevuz) from the full dictionary of Debian's edict\n"
    "  package: DIR/edict links to FILE (default /usr/share/edict/edict), the\n"
    "  romaji table is copied from the installed sample data (or --table FILE),\n"
    "  and DIR/edict.jdx is built and checked. Run it again after the edict\n"
    "  package is updated. Then: dodevuz get PASSAGE, from any folder (or\n"
    "  dodevuz get -C DIR PASSAGE for a DIR of your own).\n";

namespace {

constexpr char kDebianEdict[] = "/usr/share/edict/edict";

// path made absolute against the working directory.
std::string absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

// mkdir -p. Returns false with errno set.
bool make_folders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

bool copy_file(const std::string& from, const std::string& to, std::string* error) {
  std::ifstream in(from, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  if (!in) {
    *error = "cannot read " + from;
    return false;
  }
  // Written beside and renamed into place: an interrupted setup leaves the
  // old file or the new one, never half of one.
  const std::string temporary = to + ".tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out << bytes.str();
  out.close();
  if (!out || std::rename(temporary.c_str(), to.c_str()) != 0) {
    *error = "cannot write " + to + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "dodevuz setup: %s\n", message.c_str());
  return kExitFailure;
}

}  // namespace

int command_setup(int argc, char** argv) {
  std::string edict = kDebianEdict;
  std::string table;
  std::string folder;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return std::fputs(kUsageSetup, stdout), kExitOk;
    bool takes_value = arg == "--edict" || arg == "--table" || arg == "--folder";
    if (!takes_value || i + 1 >= argc || argv[i + 1][0] == '\0') {
      std::fprintf(stderr, "dodevuz: %s\n%s",
                   takes_value ? (arg + " needs a value").c_str()
                               : ("unknown option or operand: " + arg).c_str(),
                   kUsageSetup);
      return kExitUsage;
    }
    std::string value = argv[++i];
    (arg == "--edict" ? edict : arg == "--table" ? table : folder) = value;
  }

  if (folder.empty()) folder = reader_data_folder();
  if (folder.empty()) return fail("HOME is not set; give the folder with --folder DIR");
  folder = absolute(folder);
  // The link is made afresh; a dictionary file of the reader's own is kept.
  std::string link = folder + "/edict";
  struct stat st;
  bool own_file = lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode);

  edict = absolute(edict);
  if (!own_file && access(edict.c_str(), R_OK) != 0) {
    if (edict == kDebianEdict) {
      return fail(
          "Debian's edict package is not installed (no /usr/share/edict/edict). Install it "
          "(sudo apt-get install edict) and run dodevuz setup again, or give a dictionary with "
          "--edict FILE.");
    }
    return fail("cannot read " + edict + ": " + std::strerror(errno));
  }
  if (table.empty()) {
    std::string data = installed_data_folder();
    if (data.empty()) return fail("no romaji table beside the program; give one with --table FILE");
    table = data + "/kanarom.cnv";
  }
  table = absolute(table);
  if (!make_folders(folder)) return fail("cannot make " + folder + ": " + std::strerror(errno));

  if (own_file) {
    std::printf("%s is a file of your own; it is kept and indexed.\n", link.c_str());
  } else {
    unlink(link.c_str());
    if (symlink(edict.c_str(), link.c_str()) != 0) {
      return fail("cannot link " + link + " to " + edict + ": " + std::strerror(errno));
    }
  }
  std::string error;
  if (!copy_file(table, folder + "/kanarom.cnv", &error)) return fail(error);
  // The rules of "Dictionary forms" lie beside the romaji table; without
  // them only that mode is missing.
  const std::string rules = table.substr(0, table.rfind('/') + 1) + "deinflect.txt";
  const bool have_rules =
      access(rules.c_str(), R_OK) == 0 && copy_file(rules, folder + "/deinflect.txt", &error);

  if (chdir(folder.c_str()) != 0) {
    return fail("cannot enter " + folder + ": " + std::strerror(errno));
  }
  IndexStats stats;
  if (!build_index("edict", "edict.jdx", &error, &stats)) return fail(error);
  std::string fault;
  if (!check_index("edict", "edict.jdx", &fault)) return fail(fault);

  std::printf("Dictionary folder %s:\n", folder.c_str());
  if (!own_file) std::printf("  edict -> %s (%u lines)\n", edict.c_str(), stats.lines);
  std::printf("  edict.jdx: %u entries, built and checked\n", stats.entries);
  std::printf("  kanarom.cnv: from %s\n", table.c_str());
  if (have_rules) std::printf("  deinflect.txt: from %s\n", rules.c_str());
  // The programs find the default folder themselves, from any folder.
  if (folder == absolute(reader_data_folder())) {
    std::printf("Read a passage with: dodevuz get FILE (from any folder)\n");
  } else {
    std::printf("Read a passage with: dodevuz get -C %s FILE\n", folder.c_str());
  }
  return kExitOk;
}
