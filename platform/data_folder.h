// Where the programs find dictionary folders outside the working directory:
// the reader's own folder, which `dodevuz setup` makes, and the sample data
// installed beside the programs.
#pragma once

#include <string>

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
