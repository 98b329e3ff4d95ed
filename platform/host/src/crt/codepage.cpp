// codepage.cpp - the device's ANSI code page, and the conversions between
// wide text and narrow text that use it (WideCharToMultiByte,
// MultiByteToWideChar, wcstombs).
//
// The device's ANSI code page is a single-byte Windows code page. On first
// use its 256 bytes are decoded once through iconv into a table, and the
// reverse table is built from it; every conversion after that is a lookup.
#include <iconv.h>

#include <array>
#include <memory>
#include <string>

#include "internal.h"

namespace {

struct CodePage {
  unsigned number = 0;
  std::array<WCHAR, 256> toWide{};
  // Byte for each character of the basic plane, and whether it has one.
  std::unique_ptr<std::array<unsigned char, 65536>> toByte;
  std::unique_ptr<std::array<bool, 65536>> hasByte;
};

std::unique_ptr<CodePage> &Active() {
  static std::unique_ptr<CodePage> active;
  return active;
}

// Builds the tables for `number` through iconv; false when iconv does not
// know it as a single-byte code page.
bool BuildTables(unsigned number, CodePage *page) {
  std::string name = "CP" + std::to_string(number);
  iconv_t cd = ::iconv_open("WCHAR_T", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  page->number = number;
  page->toByte = std::make_unique<std::array<unsigned char, 65536>>();
  page->hasByte = std::make_unique<std::array<bool, 65536>>();
  page->toByte->fill(0);
  page->hasByte->fill(false);
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    wchar_t out = 0;
    char *inp = &in;
    size_t inLeft = 1;
    char *outp = reinterpret_cast<char *>(&out);
    size_t outLeft = sizeof(out);
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t r = ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
    // A byte the code page leaves undefined maps to the character of the
    // same value, as the device's conversion does.
    WCHAR c = (r == static_cast<size_t>(-1) || outLeft != 0) ? static_cast<WCHAR>(b) : out;
    page->toWide[b] = c;
  }
  ::iconv_close(cd);
  for (int b = 255; b >= 0; --b) {
    uint32_t c = static_cast<uint32_t>(page->toWide[b]);
    if (c < 65536) {
      (*page->toByte)[c] = static_cast<unsigned char>(b);
      (*page->hasByte)[c] = true;
    }
  }
  return true;
}

const CodePage &Page() {
  auto &active = Active();
  if (!active) {
    static bool registered = false;
    if (!registered) {
      registered = true;
      host::OnDeviceReset([] { Active().reset(); });
    }
    active = std::make_unique<CodePage>();
    std::string wanted = host::DeviceProperty("codepage");
    unsigned number = 1252;
    if (!wanted.empty()) {
      char *end = nullptr;
      unsigned long parsed = std::strtoul(wanted.c_str(), &end, 10);
      if (end && *end == 0 && parsed > 0 && parsed < 65536)
        number = static_cast<unsigned>(parsed);
      else
        std::fprintf(stderr, "device.ini: codepage=%s is not a code page number; using 1252\n",
                     wanted.c_str());
    }
    if (!BuildTables(number, active.get())) {
      std::fprintf(stderr, "device.ini: code page %u is not known here; using 1252\n", number);
      BuildTables(1252, active.get());
    }
  }
  return *active;
}

// Narrow bytes of one wide character in UTF-8, for CP_UTF8.
std::string Utf8Of(const WCHAR *wide, size_t length) {
  return host::WideToHostName(std::wstring(wide, length));
}

}  // namespace

namespace host {

unsigned DeviceCodePage() { return Page().number; }

bool WideToAnsiInto(const WCHAR *wide, size_t length, char *out) {
  const CodePage &page = Page();
  bool defaulted = false;
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = static_cast<uint32_t>(wide[i]);
    if (c < 65536 && (*page.hasByte)[c]) {
      out[i] = static_cast<char>((*page.toByte)[c]);
    } else {
      out[i] = '?';
      defaulted = true;
    }
  }
  return defaulted;
}

std::string WideToAnsi(const WCHAR *wide, size_t length, bool *usedDefault) {
  std::string out;
  out.resize(length);
  bool defaulted = WideToAnsiInto(wide, length, &out[0]);
  if (usedDefault) *usedDefault = defaulted;
  return out;
}

std::wstring AnsiToWide(const char *narrow, size_t length) {
  const CodePage &page = Page();
  std::wstring out;
  out.resize(length);
  for (size_t i = 0; i < length; ++i) out[i] = page.toWide[static_cast<unsigned char>(narrow[i])];
  return out;
}

}  // namespace host

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR wide, int wideChars, LPSTR narrow,
                        int narrowBytes, LPCSTR defaultChar, BOOL *usedDefaultChar) {
  if (!wide || wideChars == 0 || wideChars < -1 || narrowBytes < 0 ||
      (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = wideChars == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideChars);
  // The code page has one byte per character: without a default character
  // to report or put in, the size is known without converting, and the
  // conversion goes straight into the caller's buffer.
  if ((codePage == CP_ACP || codePage == CP_OEMCP) && !usedDefaultChar &&
      !(defaultChar && *defaultChar)) {
    if (narrowBytes == 0) return static_cast<int>(length);
    if (length > static_cast<size_t>(narrowBytes)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    host::WideToAnsiInto(wide, length, narrow);
    return static_cast<int>(length);
  }
  std::string converted;
  bool defaulted = false;
  if (codePage == CP_UTF8) {
    converted = Utf8Of(wide, length);
  } else if (codePage == CP_ACP || codePage == CP_OEMCP) {
    converted = host::WideToAnsi(wide, length, &defaulted);
    if (defaulted && defaultChar && *defaultChar) {
      std::string again;
      for (size_t i = 0; i < length; ++i) {
        bool one = false;
        std::string c = host::WideToAnsi(wide + i, 1, &one);
        again += one ? std::string(1, *defaultChar) : c;
      }
      converted = again;
    }
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefaultChar) *usedDefaultChar = defaulted ? TRUE : FALSE;
  if (narrowBytes == 0) return static_cast<int>(converted.size());
  if (converted.size() > static_cast<size_t>(narrowBytes)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(narrow, converted.data(), converted.size());
  return static_cast<int>(converted.size());
}

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, LPCSTR narrow, int narrowBytes, LPWSTR wide,
                        int wideChars) {
  if (!narrow || narrowBytes == 0 || narrowBytes < -1 || wideChars < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = narrowBytes == -1 ? std::strlen(narrow) + 1 : static_cast<size_t>(narrowBytes);
  std::wstring converted;
  if (codePage == CP_UTF8)
    converted = host::HostNameToWide(std::string(narrow, length));
  else if (codePage == CP_ACP || codePage == CP_OEMCP)
    converted = host::AnsiToWide(narrow, length);
  else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (wideChars == 0) return static_cast<int>(converted.size());
  if (converted.size() > static_cast<size_t>(wideChars)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(wide, converted.data(), converted.size());
  return static_cast<int>(converted.size());
}

// The device's wcstombs converts to its ANSI code page: at most narrowBytes
// bytes are written, with a terminator only when it fits; the result is the
// number of bytes written without the terminator. Characters the code page
// cannot hold become '?' as in WideCharToMultiByte.
size_t ce_wcstombs(char *narrow, const WCHAR *wide, size_t narrowBytes) {
  size_t length = std::wcslen(wide);
  if (!narrow) return length;
  size_t count = length < narrowBytes ? length : narrowBytes;
  std::string converted = host::WideToAnsi(wide, count);
  std::memcpy(narrow, converted.data(), count);
  if (count < narrowBytes) narrow[count] = 0;
  return count;
}
