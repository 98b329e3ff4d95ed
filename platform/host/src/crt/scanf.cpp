// scanf.cpp - the device C runtime's swscanf.
//
// The device reads wide text with a wide format, and there `%s`, `%c` and
// `%[` store wide characters (`%S`, `%hs`, `%hc`, `%h[` store narrow ones in
// the device code page). glibc's swscanf differs on exactly that point (it
// stores multibyte bytes and fails on what the host locale cannot encode),
// so the device's behaviour is built here:
//
//  - white space in the format matches any amount of white space in the
//    input, none included; any other literal character must match the next
//    input character exactly: a literal never skips blanks;
//  - `%d`, `%i`, `%u`, `%x`, `%o`, `%s` skip leading white space; `%c` and
//    `%[` do not;
//  - numbers accept a sign, also `%u` (as strtoul: "-1" is the largest
//    value); they wrap silently on overflow; `l` is 32 bits, `h` 16, `ll`
//    and `I64` 64;
//  - `%[...]` takes ranges ("a-z", also reversed), `^` negates, a `]`
//    right after `[` or `[^` is a member, and a `-` first or last is itself;
//  - `*` suppresses the assignment, a width limits the characters read;
//  - the result is the number of fields stored, or EOF (-1) when the input
//    ended before the first conversion could be made.
#include <cwctype>
#include <string>

#include "internal.h"

namespace {

bool IsBlank(WCHAR c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

int DigitValue(WCHAR c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'z') return c - L'a' + 10;
  if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
  return 99;
}

// The size of the destination a conversion stores into.
enum class Size { Default, Short, Long, LongLong };

// A parsed scan set: ranges of members, possibly negated.
struct ScanSet {
  bool negated = false;
  std::wstring singles;
  std::wstring rangeLow, rangeHigh;

  bool Contains(WCHAR c) const {
    bool member = singles.find(c) != std::wstring::npos;
    for (size_t i = 0; !member && i < rangeLow.size(); ++i)
      member = c >= rangeLow[i] && c <= rangeHigh[i];
    return member != negated;
  }
};

// Parses the set after '[' up to and including its ']'. Returns the
// position after it, or null when the format ends inside the set.
const WCHAR *ParseScanSet(const WCHAR *p, ScanSet *set) {
  if (*p == L'^') {
    set->negated = true;
    ++p;
  }
  if (*p == L']') set->singles += *p++;
  while (*p && *p != L']') {
    if (p[1] == L'-' && p[2] && p[2] != L']') {
      WCHAR low = p[0], high = p[2];
      if (low > high) std::swap(low, high);
      set->rangeLow += low;
      set->rangeHigh += high;
      p += 3;
    } else {
      set->singles += *p++;
    }
  }
  return *p == L']' ? p + 1 : nullptr;
}

class Scanner {
 public:
  Scanner(const WCHAR *text, va_list args) : start_(text), in_(text) { va_copy(args_, args); }
  ~Scanner() { va_end(args_); }
  Scanner(const Scanner &) = delete;
  Scanner &operator=(const Scanner &) = delete;

  int Run(const WCHAR *format);

 private:
  void SkipBlanks() {
    while (IsBlank(*in_)) ++in_;
  }
  // Each returns false on a failure; ended_ tells whether the input ran out.
  bool Number(WCHAR conversion, Size size, size_t width, bool store);
  bool Text(WCHAR conversion, const ScanSet *set, bool narrow, size_t width, bool store);

  const WCHAR *start_;
  const WCHAR *in_;
  va_list args_;
  bool ended_ = false;
  int stored_ = 0;
};

bool Scanner::Number(WCHAR conversion, Size size, size_t width, bool store) {
  SkipBlanks();
  if (!*in_) {
    ended_ = true;
    return false;
  }
  size_t used = 0;
  bool negative = false;
  if ((*in_ == L'+' || *in_ == L'-') && used < width) {
    negative = *in_ == L'-';
    ++in_;
    ++used;
  }
  int base = conversion == L'x' || conversion == L'X' ? 16 : conversion == L'o' ? 8 : 10;
  if (conversion == L'i' || base == 16) {
    if (*in_ == L'0' && used + 1 < width && (in_[1] == L'x' || in_[1] == L'X') &&
        DigitValue(in_[2]) < 16) {
      in_ += 2;
      used += 2;
      base = 16;
    } else if (conversion == L'i' && *in_ == L'0') {
      base = 8;
    }
  }
  uint64_t value = 0;
  size_t digits = 0;
  while (used < width && DigitValue(*in_) < base) {
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(DigitValue(*in_));
    ++in_;
    ++used;
    ++digits;
  }
  if (digits == 0) {
    if (!*in_) ended_ = true;
    return false;
  }
  if (negative) value = 0 - value;
  if (!store) return true;
  void *target = va_arg(args_, void *);
  switch (size) {
    case Size::Short:
      *static_cast<uint16_t *>(target) = static_cast<uint16_t>(value);
      break;
    case Size::LongLong:
      *static_cast<uint64_t *>(target) = value;
      break;
    default:
      *static_cast<uint32_t *>(target) = static_cast<uint32_t>(value);
      break;
  }
  ++stored_;
  return true;
}

bool Scanner::Text(WCHAR conversion, const ScanSet *set, bool narrow, size_t width, bool store) {
  if (conversion == L's') SkipBlanks();
  if (!*in_) {
    ended_ = true;
    return false;
  }
  if (conversion == L'c' && width == static_cast<size_t>(-1)) width = 1;
  std::wstring taken;
  while (*in_ && taken.size() < width) {
    WCHAR c = *in_;
    bool accepted = conversion == L'c' ? true : conversion == L's' ? !IsBlank(c) : set->Contains(c);
    if (!accepted) break;
    taken += c;
    ++in_;
  }
  // %c needs all its characters; %s and %[ need at least one.
  if (taken.empty() || (conversion == L'c' && taken.size() < width)) {
    if (!*in_) ended_ = true;
    return false;
  }
  if (!store) return true;
  bool terminate = conversion != L'c';
  if (narrow) {
    char *out = va_arg(args_, char *);
    std::string bytes = host::WideToAnsi(taken.data(), taken.size());
    std::memcpy(out, bytes.data(), bytes.size());
    if (terminate) out[bytes.size()] = 0;
  } else {
    WCHAR *out = va_arg(args_, WCHAR *);
    std::wmemcpy(out, taken.data(), taken.size());
    if (terminate) out[taken.size()] = 0;
  }
  ++stored_;
  return true;
}

int Scanner::Run(const WCHAR *format) {
  bool converted = false;  // a conversion (stored or not) has succeeded
  for (const WCHAR *p = format; *p;) {
    if (IsBlank(*p)) {
      while (IsBlank(*p)) ++p;
      SkipBlanks();
      continue;
    }
    if (*p != L'%' || p[1] == L'%') {
      if (*p == L'%') {
        ++p;
        SkipBlanks();  // "%%" matches a '%' after any blanks, as a conversion
      }
      if (!*in_) {
        ended_ = true;
        break;
      }
      if (*in_ != *p) break;
      ++in_;
      ++p;
      continue;
    }
    ++p;
    bool store = true;
    if (*p == L'*') {
      store = false;
      ++p;
    }
    size_t width = static_cast<size_t>(-1);
    if (*p >= L'1' && *p <= L'9') {
      width = 0;
      while (*p >= L'0' && *p <= L'9') width = width * 10 + static_cast<size_t>(*p++ - L'0');
    }
    Size size = Size::Default;
    bool narrow = false;
    if (*p == L'h') {
      size = Size::Short;
      narrow = true;
      ++p;
    } else if (*p == L'l') {
      size = Size::Long;
      ++p;
      if (*p == L'l') {
        size = Size::LongLong;
        ++p;
      }
    } else if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
      size = Size::LongLong;
      p += 3;
    }
    WCHAR conversion = *p;
    if (!conversion) break;
    ++p;
    bool ok;
    switch (conversion) {
      case L'd':
      case L'i':
      case L'u':
      case L'x':
      case L'X':
      case L'o':
        ok = Number(conversion, size, width, store);
        break;
      case L'S':
      case L'C':
        ok = Text(static_cast<WCHAR>(std::towlower(conversion)), nullptr, true, width, store);
        break;
      case L's':
      case L'c':
        ok = Text(conversion, nullptr, narrow, width, store);
        break;
      case L'[': {
        ScanSet set;
        p = ParseScanSet(p, &set);
        if (!p) return stored_;  // an unterminated set ends the scan
        ok = Text(L'[', &set, narrow, width, store);
        break;
      }
      case L'n':
        if (store) *va_arg(args_, int *) = static_cast<int>(in_ - start_);
        ok = true;
        break;
      default:
        ok = false;  // not a conversion the runtime knows: scanning stops
        break;
    }
    if (!ok) break;
    if (conversion != L'n') converted = true;
  }
  if (ended_ && !converted) return EOF;
  return stored_;
}

}  // namespace

int ce_swscanf(const WCHAR *text, const WCHAR *format, ...) {
  if (!text || !format) return EOF;
  va_list args;
  va_start(args, format);
  int result;
  {
    Scanner scanner(text, args);
    result = scanner.Run(format);
  }
  va_end(args);
  return result;
}
