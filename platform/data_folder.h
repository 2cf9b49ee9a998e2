// Where the programs find their dictionary folder: the folder named with
// -C, the working directory, the reader's own folder that `dodevuz setup`
// makes, or the sample data installed beside the programs, in that order.
// Every command, the server and both desktop programs search the same way.
#pragma once

#include <string>
#include <vector>

// The reader's dictionary folder: $XDG_DATA_HOME/dodevuz, or
// $HOME/.local/share/dodevuz when XDG_DATA_HOME is unset, empty or relative
// (as the XDG base directory rules say). Empty when neither is set.
std::string reader_data_folder();

// Whether folder holds the three files a Get reads: edict, edict.jdx and
// kanarom.cnv (each readable).
bool holds_dictionary(const std::string& folder);

// The sample data installed with the running program: PREFIX/share/dodevuz
// for a program in PREFIX/bin, or the data folder of a build tree
// (build/data beside build/dodevuz). Empty when neither holds kanarom.cnv.
std::string installed_data_folder();

// The folder of the running program; empty when it cannot be told.
std::string program_folder();

// The folders that `dodevuz setup` makes or a reader keeps a dictionary in,
// in the order they are searched: reader_data_folder() on POSIX; on Windows
// the program's own folder, then dodevuz in the user's application-data
// folder. Empty names are left out.
std::vector<std::string> reader_data_folders();

// How a dictionary folder was found.
enum class FolderSource {
  kNamed,             // -C DIR: taken as it is, missing files and all
  kWorkingDirectory,  // it holds edict
  kReaderFolder,      // one of reader_data_folders() that holds edict
  kSample,            // the installed sample data, holding edict
  kNone,              // no folder holds a dictionary
};

struct DictionaryFolder {
  std::string path;  // "" for the working directory and for none
  FolderSource source = FolderSource::kNone;
  std::vector<std::string> tried;  // the folders looked at, in order
};

// Searches for the dictionary folder; named is the folder -C gave ("" when
// none). Only the presence of edict decides: a folder found with another of
// its files missing gets the program's usual messages about that file.
DictionaryFolder find_dictionary_folder(const std::string& named);

// The message when no folder holds a dictionary: the folders tried and how
// to make one. Several lines, the last without a line end.
std::string no_dictionary_message(const DictionaryFolder& found);

// The one-line note that the sample dictionary is in use (source kSample).
std::string sample_dictionary_note(const DictionaryFolder& found);
