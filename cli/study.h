// The reading-to-learn commands of the command line: `known`, `vocab` and
// `export-cards` (study.cpp), with their usage texts.
#pragma once

int command_known(int argc, char** argv);
int command_vocab(int argc, char** argv);
int command_export_cards(int argc, char** argv);

extern const char kUsageKnown[];
extern const char kUsageVocab[];
extern const char kUsageExportCards[];
