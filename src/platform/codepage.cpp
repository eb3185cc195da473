#include "platform/codepage.h"

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes it leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same value, as Windows does.
constexpr wchar_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

struct CodePageTable {
  wchar_t wide[256];
};

constexpr CodePageTable MakeWindows1252() {
  CodePageTable table{};
  for (int byte = 0; byte < 256; ++byte) {
    table.wide[byte] = (byte >= 0x80 && byte < 0xA0) ? kWindows1252High[byte - 0x80]
                                                     : static_cast<wchar_t>(byte);
  }
  return table;
}

constexpr CodePageTable kSystemCodePage = MakeWindows1252();
// The thread's code page. Linux knows no per-thread ANSI code page (the README says so): the
// thread's is the system's, and the script switch between them changes nothing visible.
constexpr const CodePageTable& kThreadCodePage = kSystemCodePage;

const CodePageTable& TableFor(bool threadCodePage) {
  return threadCodePage ? kThreadCodePage : kSystemCodePage;
}

}  // namespace

wchar_t CodePageCharToWide(unsigned char byte, bool threadCodePage) {
  return TableFor(threadCodePage).wide[byte];
}

size_t CodePageToWide(const char* text, wchar_t* out, size_t capacity, bool threadCodePage) {
  if (capacity == 0) return 0;
  const CodePageTable& table = TableFor(threadCodePage);
  size_t n = 0;
  if (text != nullptr) {
    for (; n + 1 < capacity && text[n] != '\0'; ++n) {
      out[n] = table.wide[static_cast<unsigned char>(text[n])];
    }
  }
  out[n] = L'\0';
  return n;
}
