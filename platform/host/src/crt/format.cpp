// format.cpp - the device's formatted output (wsprintfW, sprintf) and its
// upper-casing (_wcsupr).
//
// Both printf flavours share one engine, parameterised on the character
// type. As on the device, `%s` is a string of the format's own width (wide
// in wsprintfW, narrow in sprintf) and `%S` the other one; the `l` size is
// 32 bits (the device's long), `I64` is 64 bits and `h` is 16 bits.
#include <string>

#include "internal.h"

namespace {

template <typename Ch>
void AppendNarrow(std::basic_string<Ch> &out, const char *text, size_t max) {
  for (size_t i = 0; i < max && text[i]; ++i)
    out += static_cast<Ch>(static_cast<unsigned char>(text[i]));
}

template <typename Ch>
void AppendWide(std::basic_string<Ch> &out, const WCHAR *text, size_t max) {
  if constexpr (sizeof(Ch) == 1) {
    size_t n = 0;
    while (n < max && text[n]) ++n;
    out += host::WideToAnsi(text, n);
  } else {
    for (size_t i = 0; i < max && text[i]; ++i) out += text[i];
  }
}

template <typename Ch>
void Pad(std::basic_string<Ch> &out, const std::basic_string<Ch> &body, int width, bool left,
         Ch fill) {
  int padding = width - static_cast<int>(body.size());
  if (left) out += body;
  // Zero padding goes after a sign.
  if (!left && fill == Ch('0') && !body.empty() && (body[0] == Ch('-') || body[0] == Ch('+'))) {
    out += body[0];
    if (padding > 0) out.append(static_cast<size_t>(padding), fill);
    out.append(body.begin() + 1, body.end());
    return;
  }
  if (padding > 0) out.append(static_cast<size_t>(padding), left ? Ch(' ') : fill);
  if (!left) out += body;
}

template <typename Ch>
std::basic_string<Ch> Format(const Ch *format, va_list args) {
  std::basic_string<Ch> out;
  for (const Ch *p = format; *p; ++p) {
    if (*p != Ch('%')) {
      out += *p;
      continue;
    }
    ++p;
    bool left = false, plus = false, space = false, alternate = false;
    Ch fill = Ch(' ');
    for (;; ++p) {
      if (*p == Ch('-'))
        left = true;
      else if (*p == Ch('0'))
        fill = Ch('0');
      else if (*p == Ch('+'))
        plus = true;
      else if (*p == Ch(' '))
        space = true;
      else if (*p == Ch('#'))
        alternate = true;
      else
        break;
    }
    int width = 0;
    if (*p == Ch('*')) {
      width = va_arg(args, int);
      if (width < 0) {
        left = true;
        width = -width;
      }
      ++p;
    } else {
      while (*p >= Ch('0') && *p <= Ch('9')) width = width * 10 + (*p++ - Ch('0'));
    }
    int precision = -1;
    if (*p == Ch('.')) {
      ++p;
      precision = 0;
      if (*p == Ch('*')) {
        precision = va_arg(args, int);
        ++p;
      } else {
        while (*p >= Ch('0') && *p <= Ch('9')) precision = precision * 10 + (*p++ - Ch('0'));
      }
    }
    int bits = 32;
    if (*p == Ch('l')) {
      ++p;
      if (*p == Ch('l')) {
        bits = 64;
        ++p;
      }
    } else if (*p == Ch('h')) {
      bits = 16;
      ++p;
    } else if (*p == Ch('I') && p[1] == Ch('6') && p[2] == Ch('4')) {
      bits = 64;
      p += 3;
    }
    if (!*p) break;
    Ch conversion = *p;
    std::basic_string<Ch> body;
    switch (conversion) {
      case Ch('%'):
        out += Ch('%');
        continue;
      case Ch('c'):
        body += static_cast<Ch>(va_arg(args, int));
        break;
      case Ch('s'):
      case Ch('S'): {
        bool wide = (conversion == Ch('s')) == (sizeof(Ch) != 1);
        size_t max = precision < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(precision);
        if (wide) {
          const WCHAR *text = va_arg(args, const WCHAR *);
          AppendWide(body, text ? text : L"(null)", max);
        } else {
          const char *text = va_arg(args, const char *);
          AppendNarrow(body, text ? text : "(null)", max);
        }
        Pad(out, body, width, left, Ch(' '));
        continue;
      }
      case Ch('d'):
      case Ch('i'): {
        int64_t value = bits == 64   ? va_arg(args, long long)
                        : bits == 16 ? static_cast<int16_t>(va_arg(args, int))
                                     : static_cast<int32_t>(va_arg(args, int));
        uint64_t magnitude =
            value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        std::string digits = std::to_string(magnitude);
        if (precision >= 0 && static_cast<int>(digits.size()) < precision)
          digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
        if (value < 0)
          body += Ch('-');
        else if (plus)
          body += Ch('+');
        else if (space)
          body += Ch(' ');
        AppendNarrow(body, digits.c_str(), digits.size());
        break;
      }
      case Ch('u'):
      case Ch('x'):
      case Ch('X'):
      case Ch('o'): {
        uint64_t value = bits == 64   ? va_arg(args, unsigned long long)
                         : bits == 16 ? static_cast<uint16_t>(va_arg(args, unsigned))
                                      : static_cast<uint32_t>(va_arg(args, unsigned));
        int base = conversion == Ch('u') ? 10 : conversion == Ch('o') ? 8 : 16;
        const char *symbols = conversion == Ch('X') ? "0123456789ABCDEF" : "0123456789abcdef";
        char reversed[24];  // 22 octal digits at most
        size_t count = 0;
        do {
          reversed[count++] = symbols[value % base];
          value /= base;
        } while (value);
        std::string digits(count, '0');
        for (size_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
        if (precision >= 0 && static_cast<int>(digits.size()) < precision)
          digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
        if (alternate && base == 16) digits.insert(0, conversion == Ch('X') ? "0X" : "0x");
        AppendNarrow(body, digits.c_str(), digits.size());
        break;
      }
      default:
        // Not a conversion the device knows: written as it stands.
        out += conversion;
        continue;
    }
    Pad(out, body, width, left, precision >= 0 ? Ch(' ') : fill);
  }
  return out;
}

}  // namespace

int wsprintfW(LPWSTR out, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = Format<WCHAR>(format, args);
  va_end(args);
  std::wmemcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

int ce_sprintf(char *out, const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = Format<char>(format, args);
  va_end(args);
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

namespace host {

WCHAR UpperChar(WCHAR c) {
  uint32_t u = static_cast<uint32_t>(c);
  if (u < 0x80) return (u >= 'a' && u <= 'z') ? static_cast<WCHAR>(u - 32) : c;
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<WCHAR>(u - 0x20);
  if (u == 0xFF) return static_cast<WCHAR>(0x178);
  if (u >= 0x100 && u <= 0x17F) {
    if (u == 0x131) return L'I';
    if (u == 0x17F) return L'S';
    if (u == 0x138 || u == 0x149) return c;
    bool oddUpper = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
    if (oddUpper) return (u % 2 == 0) ? static_cast<WCHAR>(u - 1) : c;
    return (u % 2 == 1) ? static_cast<WCHAR>(u - 1) : c;
  }
  if (u >= 0x3B1 && u <= 0x3C9)
    return u == 0x3C2 ? static_cast<WCHAR>(0x3A3) : static_cast<WCHAR>(u - 0x20);
  if (u == 0x3AC) return static_cast<WCHAR>(0x386);
  if (u >= 0x3AD && u <= 0x3AF) return static_cast<WCHAR>(u - 0x25);
  if (u == 0x3CC) return static_cast<WCHAR>(0x38C);
  if (u == 0x3CD || u == 0x3CE) return static_cast<WCHAR>(u - 0x3F);
  if (u >= 0x430 && u <= 0x44F) return static_cast<WCHAR>(u - 0x20);
  if (u >= 0x450 && u <= 0x45F) return static_cast<WCHAR>(u - 0x50);
  if ((u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF) || (u >= 0x4D0 && u <= 0x4FF))
    return (u % 2 == 1) ? static_cast<WCHAR>(u - 1) : c;
  return c;
}

}  // namespace host

WCHAR *_wcsupr(WCHAR *text) {
  for (WCHAR *p = text; *p; ++p) *p = host::UpperChar(*p);
  return text;
}
