// The end-to-end driver's checks: each prints one line ("ok   what" or
// "FAIL what: detail") and is counted for the closing "N passed, N failed".
#pragma once

#include <cstddef>
#include <string>

extern int checks_passed, checks_failed;

void check(bool ok, const std::string& what, const std::string& detail = "");

// Bytes as hex digits, the first `limit` of them, for a failure's detail.
std::string hex(const std::string& bytes, size_t limit = 64);

// The Win32 platform layer inside the driver's own process: code-page
// conversions (against the sample passage and its ISO-2022-JP form made by
// iconv), files, memory blocks, panes and their selections, the clipboard.
void check_platform(const std::string& passage_utf8, const std::string& passage_jis);
