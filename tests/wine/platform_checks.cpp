// Checks of the Win32 platform layer in the driver's own process: what the
// program itself cannot show through its window (undecodable bytes, file
// bounds, freeing locked blocks, selections past a pane's text).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/convert.h"
#include "platform/platform.h"
#include "tests/wine/checks.h"

namespace {

std::string units_hex(const std::u16string& s) {
  std::string out;
  char b[8];
  for (char16_t c : s) {
    std::snprintf(b, sizeof b, "%04X ", static_cast<unsigned>(c));
    out += b;
  }
  return out;
}

std::string offsets_text(const std::vector<uint32_t>& offsets) {
  std::string out;
  for (uint32_t o : offsets) out += std::to_string(o) + " ";
  return out;
}

void check_conversions(const std::string& passage_utf8, const std::string& passage_jis) {
  // "日本 a\n", half-width ｱ, a JIS X 0212 character, a lead byte with no trail.
  const std::string mixed = "\xC6\xFC\xCB\xDC a\n\x8E\xB1\x8F\xB0\xA1\xA4";
  std::vector<uint32_t> offsets;
  std::u16string wide = euc_to_utf16(mixed, &offsets);
  // Code page 20932 has no JIS X 0212: that character is one U+FFFD.
  check(wide == u"\u65E5\u672C a\n\uFF71\uFFFD\uFFFD", "euc_to_utf16: one unit per character",
        units_hex(wide));
  check(offsets_text(offsets) == "0 2 4 5 6 7 9 12 13 ",
        "euc_to_utf16: each unit maps back to its character's first byte", offsets_text(offsets));
  check(utf16_to_byte_offset(offsets, 99) == 13 && utf16_to_byte_offset({}, 3) == 0,
        "positions past the end map to the end");

  bool lossless = false;
  std::string euc = utf8_to_euc(passage_utf8, &lossless);
  check(lossless && euc_to_utf8(euc) == passage_utf8, "the passage goes to EUC-JP and back");
  check(utf8_to_euc("a\xFF"
                    "b",
                    &lossless) ==
                "a\xA2\xAE"
                "b" &&
            !lossless,
        "an invalid UTF-8 byte becomes the geta mark");
  check(utf8_to_euc("\xF0\x9F\x98\x80?", &lossless) == "\xA2\xAE?" && !lossless,
        "a character EUC-JP cannot hold becomes the geta mark, a '?' stays");

  check(utf8_to_jis(passage_utf8) == passage_jis, "utf8_to_jis agrees with iconv's ISO-2022-JP",
        hex(utf8_to_jis(passage_utf8)));
  // ｶﾞｷﾞ: half-width katakana with voicing marks, merged into ガギ.
  check(utf8_to_jis("\xEF\xBD\xB6\xEF\xBE\x9E\xEF\xBD\xB7\xEF\xBE\x9E") == "\x1B$B%,%.\x1B(B",
        "half-width katakana go to JIS full-width", hex(utf8_to_jis("\xEF\xBD\xB6\xEF\xBE\x9E")));
  // The same bytes as the iconv build gives: both tildes the wave dash, ①
  // from NEC row 13, the IBM kanji 髙 a '?' in both Gets.
  const char* vendor_text = "ｶﾀｶﾅｶﾞﾊﾟﾞ〜～①髙字";
  check(utf8_to_jis(vendor_text) == "\x1B$B%+%?%+%J%,%Q!+!A!A-!\x1B(B?\x1B$B;z\x1B(B",
        "JIS: half-width kana, tildes and vendor rows as in the iconv build",
        hex(utf8_to_jis(vendor_text)));
  check(utf8_to_sjis("～〜①髙") == "\x81\x60\x81\x60\x87\x40?",
        "Shift-JIS: tildes, NEC row 13 and an IBM kanji as in the iconv build",
        hex(utf8_to_sjis("～〜①髙")));
  std::string sjis = utf8_to_sjis(passage_utf8);
  check(!sjis.empty() && sjis_to_utf8(sjis) == passage_utf8, "Shift-JIS there and back");
  check(utf8_to_sjis("\xF0\x9F\x98\x80") == "?", "Shift-JIS: a character it cannot hold is '?'");
}

void check_files() {
  check(file_open_read(".") == kFileError, "a directory does not open as a file");
  check(file_open_read("no such file") == kFileError, "a missing file does not open");
  uint32_t size = 7;
  check(file_size(".", &size) != 0 && size == 7, "a directory has no file size");
  HANDLE h = CreateFileA("bounds.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(h, "0123456789", 10, &written, nullptr);
  CloseHandle(h);
  check(file_size("bounds.bin", &size) == 0 && size == 10, "file_size");
  int32_t file = file_open_read("bounds.bin");
  char buffer[32] = {};
  int32_t n = file_read_at(file, 7, buffer, sizeof buffer);
  check(file != kFileError && n == 3 && std::memcmp(buffer, "789", 3) == 0,
        "a read at an offset stops at the end", std::to_string(n));
  check(file_read_at(file, 10, buffer, 4) == 0 && file_read_at(file, 0x7FFFFFF0, buffer, 4) == 0,
        "a read at or past the end gives 0");
  check(file_read_at(file, 2, buffer, 2) == 2 && std::memcmp(buffer, "23", 2) == 0,
        "reads go to the offset given, not on from the last");
  check(file_read_at(kFileError, 0, buffer, 4) == -1, "a read of no file gives -1");
  file_close(file);
  file_close(kFileError);
  DeleteFileA("bounds.bin");
}

void check_memory() {
  MemoryBlock block = memory_alloc(4096, true);
  unsigned char* p = memory_lock(block);
  bool zero = p != nullptr;
  for (int i = 0; zero && i < 4096; ++i) zero = p[i] == 0;
  check(zero, "a zero-filled block is zero");
  memory_free(block);  // still locked
  check(GlobalFlags(static_cast<HGLOBAL>(block)) == GMEM_INVALID_HANDLE,
        "a locked block is freed all the same");
  check(memory_lock(nullptr) == nullptr, "a null block does not lock");
  memory_unlock(nullptr);
  memory_free(nullptr);
  MemoryBlock slot = nullptr;
  unsigned char* q = renew_block(&slot, 16, true);
  check(q != nullptr && slot != nullptr && q[15] == 0, "renew_block gives a locked, cleared block");
  memory_free(slot);
}

void check_panes() {
  HWND parent = CreateWindowExA(0, "STATIC", "panes", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500, nullptr,
                                nullptr, nullptr, nullptr);
  uint32_t start = 9, end = 9;
  pane_selection(nullptr, &start, &end);
  check(start == 0 && end == 0, "no pane: an empty selection");
  pane_selection(parent, &start, &end);
  check(start == 0 && end == 0, "a window that is no pane: an empty selection");

  // "日本\nab\r\ncd": a lone line feed is shown as CR LF.
  const unsigned char text[] = "\xC6\xFC\xCB\xDC\nab\r\ncd";
  Window pane = pane_create(parent, 10, 294, 630, 100, 0x50A00944, text);
  check(pane != nullptr && (GetWindowLongA(static_cast<HWND>(pane), GWL_STYLE) & WS_VISIBLE) != 0,
        "pane_create shows the pane");
  wchar_t shown[32] = {};
  GetWindowTextW(static_cast<HWND>(pane), shown, 32);
  check(std::wstring(shown) == L"\u65E5\u672C\r\nab\r\ncd", "the pane shows the text in Unicode");
  SendMessageW(static_cast<HWND>(pane), EM_SETSEL, 1, 5);  // 本, CR LF, a
  pane_selection(pane, &start, &end);
  check(start == 2 && end == 6, "a selection maps back to byte offsets",
        std::to_string(start) + "-" + std::to_string(end));
  SendMessageW(static_cast<HWND>(pane), EM_SETSEL, 3, 3);  // between the added CR and the LF
  pane_selection(pane, &start, &end);
  check(start == 4 && end == 4, "a caret inside a shown line end maps to the line feed");
  // What the user types changes only the pane: the selection is cut at the
  // end of the text the pane was made with.
  SendMessageW(static_cast<HWND>(pane), EM_SETSEL, 10, 10);
  SendMessageW(static_cast<HWND>(pane), EM_REPLACESEL, FALSE,
               reinterpret_cast<LPARAM>(L"typed by the user"));
  SendMessageW(static_cast<HWND>(pane), EM_SETSEL, 6, 25);
  pane_selection(pane, &start, &end);
  check(start == 7 && end == 11, "a selection past the text is cut at its end",
        std::to_string(start) + "-" + std::to_string(end));
  pane_destroy(pane);
  check(!IsWindow(static_cast<HWND>(pane)), "pane_destroy destroys it");
  pane_selection(pane, &start, &end);
  check(start == 0 && end == 0, "a destroyed pane: an empty selection");
  pane_destroy(nullptr);
  DestroyWindow(parent);
}

void check_clipboard() {
  HWND owner = CreateWindowExA(0, "STATIC", "clipboard", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               nullptr, nullptr);
  std::string text = "left over";
  clipboard_empty(owner);
  check(!clipboard_read_text(owner, ClipboardIntake::kShiftJis, &text) && text.empty(),
        "an empty clipboard gives no text");

  // The program's own Copy: EUC-JP bytes first, taken back as they are.
  const unsigned char nihon[] = "\xC6\xFC\xCB\xDC";
  clipboard_write_text(owner, nihon, 4);
  check(clipboard_read_text(owner, ClipboardIntake::kShiftJis, &text) && text == "\xC6\xFC\xCB\xDC",
        "8-bit text is taken as it is", hex(text));

  // Unicode text: "日本ｶﾞ" in the command's encoding.
  const wchar_t unicode[] = L"\u65E5\u672C\uFF76\uFF9E";
  OpenClipboard(owner);
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof unicode);
  std::memcpy(GlobalLock(block), unicode, sizeof unicode);
  GlobalUnlock(block);
  SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
  check(clipboard_read_text(owner, ClipboardIntake::kShiftJis, &text) &&
            text == "\x93\xFA\x96\x7B\xB6\xDE",
        "Unicode text is taken as Shift-JIS", hex(text));
  check(clipboard_read_text(owner, ClipboardIntake::kJis, &text) && text == "\x1B$BF|K\\%,\x1B(B",
        "Unicode text is taken as JIS", hex(text));
  clipboard_empty(owner);
  DestroyWindow(owner);
}

}  // namespace

void check_platform(const std::string& passage_utf8, const std::string& passage_jis) {
  check_conversions(passage_utf8, passage_jis);
  check_files();
  check_memory();
  check_panes();
  check_clipboard();
}
