// regfile.cpp - the reader of registry editor export files: the device
// registry's source (regtree.h) when the device folder has registry.reg.
//
// Two kinds of file are read, as the desktop and device registry editors
// write them:
//   REGEDIT4                              narrow text in the device code page
//   Windows Registry Editor Version 5.00  UTF-16LE with a byte order mark
// A version 5 file saved as UTF-8 (with or without its mark) is read too.
//
// The lines are read as the desktop registry editors import them (the
// README's registry section has the rules), plus two forms of the device's
// own registry files: multi_sz:"a","b" data and IF/ELSE/ENDIF lines, which
// are reported and whose branches are both read.
//   first line      REGEDIT4 or Windows Registry Editor Version 5.00, or
//                   nothing of the file is read
//   [ROOT\path]     a key (made as needed); [-ROOT\path] deletes it
//   "name"=DATA     a value; @=DATA is the default value
// DATA is "string" (escapes \\ \" \n \r), dword:XXXXXXXX, hex:bytes,
// hex(N):bytes (N the type number in hexadecimal), multi_sz:"a","b", or -
// to delete the value; a ';' after it starts a comment. Hex data ending in
// a backslash after a comma, and multi_sz: strings ending in a comma, go
// on in the next line that is not blank or a comment.
#include "regfile.h"

#include <algorithm>
#include <cctype>

namespace host {
namespace reg {

// ===========================================================================
// Decoding the file into UTF-16 code units
// ===========================================================================

namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";

void AppendUnit(std::u16string *out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    *out += static_cast<char16_t>(0xD800 + (cp >> 10));
    *out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    *out += static_cast<char16_t>(cp);
  }
}

// Text is decoded a line at a time, and a long line in pieces of this many
// bytes, so that no more than the line itself is ever held twice.
constexpr size_t kPiece = 1 << 16;

void AppendUtf16(std::string_view bytes, bool bigEndian, std::u16string *out) {
  out->reserve(out->size() + bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned a = static_cast<unsigned char>(bytes[i]);
    unsigned b = static_cast<unsigned char>(bytes[i + 1]);
    *out += static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
}

void AppendWide(const std::wstring &wide, std::u16string *out) {
  for (WCHAR c : wide) AppendUnit(out, static_cast<uint32_t>(c));
}

void AppendUtf8(std::string_view bytes, std::u16string *out) {
  out->reserve(out->size() + bytes.size());
  std::wstring wide;
  for (size_t start = 0; start < bytes.size();) {
    size_t end = std::min(bytes.size(), start + kPiece);
    // A piece never ends inside a character: it ends before the lead byte
    // of one cut (a character has at most three continuation bytes).
    for (int k = 0; k < 3 && end < bytes.size() && end > start + 1 &&
                    (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80;
         ++k)
      --end;
    wide.clear();
    AppendWideName(bytes.data() + start, end - start, &wide);
    AppendWide(wide, out);
    start = end;
  }
}

void AppendCodePage(std::string_view bytes, std::u16string *out) {
  out->reserve(out->size() + bytes.size());
  for (size_t start = 0; start < bytes.size(); start += kPiece) {
    size_t size = std::min(kPiece, bytes.size() - start);
    AppendWide(AnsiToWide(bytes.data() + start, size), out);
  }
}

std::u16string FromCodePage(const char *narrow, size_t length) {
  std::u16string out;
  AppendCodePage(std::string_view(narrow, length), &out);
  return out;
}

bool StartsWith(std::string_view bytes, size_t at, const char *text) {
  return bytes.compare(at, std::strlen(text), text) == 0;
}

// How the file's text is encoded.
enum class Encoding { kCodePage, kUtf8, kUtf16LE, kUtf16BE };

// The encoding from the byte order mark, or, without one, from the text
// itself. A file in the device code page is a REGEDIT4 file, or one
// without a known header.
Encoding EncodingOf(const DeviceText &text) {
  const std::string &bytes = text.bytes;
  switch (text.mark) {
    case TextMark::kUtf16LE:
      return Encoding::kUtf16LE;
    case TextMark::kUtf16BE:
      return Encoding::kUtf16BE;
    case TextMark::kUtf8:
      return Encoding::kUtf8;
    case TextMark::kNone:
      break;
  }
  // UTF-16LE that lost its mark still starts with an ASCII letter and a 0.
  if (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0) return Encoding::kUtf16LE;
  size_t first = bytes.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && StartsWith(bytes, first, kHeader5)) return Encoding::kUtf8;
  return Encoding::kCodePage;
}

// One line's bytes as UTF-16 code units, into *out.
void DecodeLine(std::string_view bytes, Encoding encoding, std::u16string *out) {
  out->clear();
  switch (encoding) {
    case Encoding::kUtf16LE:
    case Encoding::kUtf16BE:
      return AppendUtf16(bytes, encoding == Encoding::kUtf16BE, out);
    case Encoding::kUtf8:
      return AppendUtf8(bytes, out);
    case Encoding::kCodePage:
      return AppendCodePage(bytes, out);
  }
}

// ===========================================================================
// Lines
// ===========================================================================

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

size_t SkipBlanks(const std::u16string &text, size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

// True when text[at..] is empty or a comment.
bool RestIsComment(const std::u16string &text, size_t at) {
  at = SkipBlanks(text, at);
  return at == text.size() || text[at] == u';';
}

bool EqualsAscii(const std::u16string &text, size_t at, const char *ascii) {
  size_t n = std::strlen(ascii);
  if (text.size() - std::min(at, text.size()) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (text[at + i] != static_cast<char16_t>(static_cast<unsigned char>(ascii[i]))) return false;
  return true;
}

// True when text[at..] starts with `ascii`, exactly as written.
bool StartsWithAscii(const std::u16string &text, size_t at, const char *ascii) {
  size_t n = std::strlen(ascii);
  if (at > text.size() || text.size() - at < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (text[at + i] != static_cast<char16_t>(static_cast<unsigned char>(ascii[i]))) return false;
  return true;
}

// The same in any case (`ascii` in lower case).
bool StartsWithNoCase(const std::u16string &text, size_t at, const char *ascii) {
  size_t n = std::strlen(ascii);
  if (at > text.size() || text.size() - at < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t c = text[at + i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != static_cast<char16_t>(ascii[i])) return false;
  }
  return true;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A number as the importers read hex bytes and type numbers: blanks, an
// optional sign, an optional 0x, hex digits. Returns the digits read (0:
// nothing read, *at unchanged); *value saturates at 0x100000000.
int ReadNumber(const std::u16string &text, size_t *at, bool signAndPrefix, uint64_t *value) {
  size_t i = SkipBlanks(text, *at);
  bool negative = false;
  if (signAndPrefix && i < text.size() && (text[i] == u'+' || text[i] == u'-'))
    negative = text[i++] == u'-';
  if (signAndPrefix && i + 2 < text.size() && text[i] == u'0' &&
      (text[i + 1] == u'x' || text[i + 1] == u'X') && HexDigit(text[i + 2]) >= 0)
    i += 2;
  uint64_t v = 0;
  int digits = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i, ++digits)
    v = std::min<uint64_t>(v << 4 | static_cast<uint64_t>(HexDigit(text[i])), 0x100000000ull);
  if (digits == 0) return 0;
  if (negative && v != 0) v = 0x100000000ull;  // -n wraps far above any byte
  *value = v;
  *at = i;
  return digits;
}

std::string Narrow(const std::u16string &text) {
  std::wstring wide(text.begin(), text.end());
  return WideToHostName(wide);
}

void PutUnits(const std::u16string &text, std::vector<BYTE> *data) {
  data->reserve(data->size() + text.size() * 2 + 2);
  for (char16_t c : text) {
    data->push_back(static_cast<BYTE>(c));
    data->push_back(static_cast<BYTE>(c >> 8));
  }
  data->push_back(0);
  data->push_back(0);
}

// Room kept from line to line is let go once it has grown past this, so
// that one huge value does not hold its size for the rest of the file.
constexpr size_t kRoomKept = 1 << 16;

template <typename Room>
void LetGoIfLarge(Room *room) {
  if (room->capacity() > kRoomKept) Room().swap(*room);
}

enum class Hex { kDone, kGoesOn, kBad, kNoComma, kAfterBackslash, kBigByte };

// Hex bytes from text[at..] as the importers read them: "01,ab, ff", a
// trailing comma allowed; a backslash after a comma (then nothing but a
// comment) says the data goes on in the next line; ';' starts a comment.
Hex HexBytes(const std::u16string &text, size_t at, std::vector<BYTE> *data) {
  while (at < text.size()) {
    uint64_t byte = 0;
    if (!ReadNumber(text, &at, true, &byte)) {
      at = SkipBlanks(text, at);
      if (at < text.size() && text[at] == u'\\')
        return RestIsComment(text, at + 1) ? Hex::kGoesOn : Hex::kAfterBackslash;
      return at < text.size() && text[at] == u';' ? Hex::kDone : Hex::kBad;
    }
    if (byte > 0xff) return Hex::kBigByte;
    data->push_back(static_cast<BYTE>(byte));
    if (at < text.size() && text[at] != u',') {
      at = SkipBlanks(text, at);
      if (RestIsComment(text, at)) return Hex::kDone;
      return text[at] == u'\\' ? Hex::kNoComma : Hex::kBad;
    }
    if (at < text.size()) ++at;
  }
  return Hex::kDone;
}

const char *HexProblem(Hex result) {
  switch (result) {
    case Hex::kNoComma:
      return "a backslash continues hex data only after a comma (write 65,\\)";
    case Hex::kAfterBackslash:
      return "text after the backslash (a comment must start with ;)";
    case Hex::kBigByte:
      return "hex byte above ff (bytes are two hex digits, separated by commas)";
    default:
      return "hex data must be bytes (00 to ff) separated by commas";
  }
}

class Parser {
 public:
  Parser(Tree *tree, const std::string &fileName) : tree_(*tree), file_(fileName) {}

  // One line of the file, without its line end. The parser may trim the
  // line in place, or let its room go once its text is taken.
  void Feed(std::u16string &line, int number) {
    if (!headerSeen_) return Header(line, number);
    if (refused_) return;
    if (pending_ != Pending::kNone) return Continue(line, number);
    Line(line, number);
  }

  // The end of the file: data still going on is taken as it stands.
  void End() {
    if (pending_ != Pending::kNone) FinishPending();
  }

 private:
  // A value whose data goes on in the lines that follow.
  enum class Pending { kNone, kHex, kMultiSz };

  void Report(int number, const std::string &message) { ReportMalformed(file_, number, message); }

  // The first line decides: exactly one of the two headers (after blanks)
  // or nothing of the file is read.
  void Header(const std::u16string &line, int number) {
    headerSeen_ = true;
    size_t at = SkipBlanks(line, 0);
    if (EqualsAscii(line, at, kHeader4)) {
      regedit4_ = true;
    } else if (EqualsAscii(line, at, kHeader5)) {
      regedit4_ = false;
    } else {
      refused_ = true;
      Report(number,
             "not a registry file: the first line must be REGEDIT4 or "
             "Windows Registry Editor Version 5.00, exactly; nothing of it is read");
    }
  }

  void Line(std::u16string &line, int number) {
    size_t at = SkipBlanks(line, 0);
    if (at == line.size() || line[at] == u';' || line[at] == u'#') return;
    if (line[at] == u'[') return KeyLine(line, at + 1, number);
    if (line[at] == u'"' || line[at] == u'@') return ValueLine(line, at, number);
    if (IsConditional(line, at))
      return Report(number, "conditional not supported: both branches are read");
    Report(number, "not a key, a value or a comment");
  }

  // IF NAME [!], ELSE and ENDIF lines of a device's registry files.
  static bool IsConditional(const std::u16string &line, size_t at) {
    for (const char *word : {"if", "else", "endif"}) {
      size_t n = std::strlen(word);
      if (StartsWithNoCase(line, at, word) && (at + n == line.size() || IsBlank(line[at + n])))
        return true;
    }
    return false;
  }

  // [ROOT\path] or [-ROOT\path], from just after the '['. Text after the
  // last ']' is ignored, as the importers do.
  void KeyLine(const std::u16string &line, size_t at, int number) {
    sawKey_ = true;
    // A line the importers do not take as a key leaves the current key as
    // it was.
    if (at < line.size() && IsBlank(line[at]))
      return Report(number, "blank after '[' (the key path starts right after the bracket)");
    size_t close = line.rfind(u']');
    if (close == std::u16string::npos || close < at) return Report(number, "key line without ']'");
    current_ = kNoKey;
    bool remove = at < close && line[at] == u'-';
    if (remove) ++at;
    std::u16string path = line.substr(at, close - at);
    size_t slash = path.find(u'\\');
    int root = RootOf(path.substr(0, slash));
    if (root < 0) return Report(number, "unknown root key '" + Narrow(path.substr(0, slash)) + "'");
    // Parts after the root; a doubled or trailing backslash adds no key
    // ("[HKEY_CURRENT_USER\A\\]" is A), but the path cannot start with one.
    std::vector<std::u16string> parts;
    if (slash != std::u16string::npos && slash + 1 < path.size()) {
      if (path[slash + 1] == u'\\') return Report(number, "two backslashes after the root key");
      for (size_t start = slash + 1; start <= path.size();) {
        size_t end = std::min(path.find(u'\\', start), path.size());
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
      }
    }
    for (const std::u16string &part : parts)
      if (part.find(u'\0') != std::u16string::npos)
        return Report(number, "NUL character in a key name");
    KeyId key = static_cast<KeyId>(root);
    if (remove) {
      if (parts.empty()) return Report(number, "a root key cannot be deleted");
      for (size_t i = 0; key != kNoKey && i + 1 < parts.size(); ++i)
        key = tree_.Child(key, parts[i]);
      if (key != kNoKey) tree_.RemoveChild(key, parts.back());
      return;  // values that follow a deleted key go nowhere
    }
    for (const std::u16string &part : parts) key = tree_.MakeChild(key, part);
    current_ = key;
  }

  static int RootOf(const std::u16string &name) {
    static const struct {
      const char *full;
      const char *brief;
      int root;
    } kRoots[] = {{"hkey_classes_root", "hkcr", kClassesRoot},
                  {"hkey_current_user", "hkcu", kCurrentUser},
                  {"hkey_local_machine", "hklm", kLocalMachine},
                  {"hkey_users", "hku", kUsers}};
    for (const auto &r : kRoots) {
      if ((name.size() == std::strlen(r.full) && StartsWithNoCase(name, 0, r.full)) ||
          (name.size() == std::strlen(r.brief) && StartsWithNoCase(name, 0, r.brief)))
        return r.root;
    }
    return -1;
  }

  // A quoted text from line[*at] (the opening quote), its escapes read:
  // \\ \" \n \r. An unknown escape is reported and kept as written; \0
  // makes the text unusable. Sets *problem when there is no text.
  bool Quoted(const std::u16string &line, size_t *at, int number, std::u16string *out,
              const char **problem) {
    out->clear();
    // Room for the text up to the closing quote, taken at once, so that a
    // long string grows no spare capacity.
    size_t close = *at + 1;
    while (close < line.size() && line[close] != u'"') close += line[close] == u'\\' ? 2 : 1;
    out->reserve(std::min(close, line.size()) - (*at + 1));
    for (size_t i = *at + 1; i < line.size(); ++i) {
      char16_t c = line[i];
      if (c == u'"') {
        *at = i + 1;
        return true;
      }
      if (c != u'\\') {
        *out += c;
        continue;
      }
      if (++i == line.size()) break;
      switch (line[i]) {
        case u'n':
          *out += u'\n';
          break;
        case u'r':
          *out += u'\r';
          break;
        case u'\\':
        case u'"':
          *out += line[i];
          break;
        case u'0':
          *problem =
              "\\0 inside quotes (a name or string cannot hold a NUL); the value is left out";
          return false;
        default:
          Report(number, "unknown escape \\" + Narrow(line.substr(i, 1)) +
                             " (known are \\\\ \\\" \\n \\r); kept as written");
          *out += u'\\';
          *out += line[i];
      }
    }
    *problem = nullptr;
    return false;
  }

  void ValueLine(std::u16string &line, size_t at, int number) {
    std::u16string name;
    const char *problem = nullptr;
    if (line[at] == u'@') {
      ++at;
    } else if (!Quoted(line, &at, number, &name, &problem)) {
      return Report(number, problem ? problem : "the name has no closing quote");
    }
    at = SkipBlanks(line, at);
    if (at == line.size() || line[at] != u'=') return Report(number, "expected = after the name");
    at = SkipBlanks(line, at + 1);
    // The data ends before trailing blanks (trimmed in place: a long line
    // is never copied).
    std::u16string &text = line;
    text.resize(text.find_last_not_of(u" \t") + 1);
    KeyId key = current_;
    // Values under a key line that was refused or that deleted its key go
    // nowhere, without a report of their own: the key line says it. Their
    // data is read all the same, so that continued data is passed over.
    if (key == kNoKey && !sawKey_) Report(number, "value outside of a key");
    if (at >= text.size())
      return Report(number, "nothing after = (write the data, or - to delete)");

    if (text[at] == u'-') {
      if (!RestIsComment(text, at + 1))
        return Report(number, "text after =- (a comment must start with ;)");
      tree_.DeleteValue(key, name);
      return;
    }
    std::vector<BYTE> &data = data_;
    data.clear();
    if (text[at] == u'"') {
      std::u16string &string = string_;
      if (!Quoted(text, &at, number, &string, &problem))
        return Report(number, problem ? problem : "the string has no closing quote");
      if (!RestIsComment(text, at)) return Report(number, kTextAfter);
      // A long string is held once as the line, once as text and once as
      // data: each goes as soon as the next is made.
      LetGoIfLarge(&text);
      PutUnits(string, &data);
      LetGoIfLarge(&string);
      Set(key, name, REG_SZ, data);
      LetGoIfLarge(&data);
      return;
    }
    if (StartsWithAscii(text, at, "dword:")) {
      at = SkipBlanks(text, at + 6);
      uint64_t v = 0;
      int digits = ReadNumber(text, &at, false, &v);
      // Only a comment after dword: reads as 0, as the importers take it.
      if (digits > 8 || (digits == 0 && (at == text.size() || text[at] != u';')) ||
          (at < text.size() && std::isalnum(text[at] < 128 ? static_cast<int>(text[at]) : 0)))
        return Report(number, "dword: needs 1 to 8 hex digits");
      if (!RestIsComment(text, at)) return Report(number, kTextAfter);
      data = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
              static_cast<BYTE>(v >> 24)};
      return Set(key, name, REG_DWORD, data);
    }
    if (StartsWithAscii(text, at, "multi_sz:")) {
      Start(Pending::kMultiSz, key, name, REG_MULTI_SZ, number);
      return MultiSz(text, at + 9, number);
    }
    uint32_t type = REG_BINARY;
    if (StartsWithAscii(text, at, "hex:")) {
      at += 4;
    } else if (StartsWithAscii(text, at, "hex(")) {
      at += 4;
      // The type number may be left out (0); no 0x, no more than 32 bits.
      uint64_t v = 0;
      ReadNumber(text, &at, false, &v);
      if (v > 0xFFFFFFFFull || !StartsWithAscii(text, at, "):"))
        return Report(number, "hex(N): needs the type number in hex, as in hex(7):");
      at += 2;
      type = static_cast<uint32_t>(v);
    } else {
      return Report(number,
                    "unknown data (write \"text\", dword:, hex:, hex(N): or multi_sz:, "
                    "in lower case)");
    }
    Start(Pending::kHex, key, name, type, number);
    HexPart(text, at, number);
  }

  void Start(Pending kind, KeyId key, const std::u16string &name, DWORD type, int number) {
    pending_ = kind;
    pendingKey_ = key;
    pendingName_ = name;
    pendingType_ = type;
    pendingLine_ = number;
    pendingData_.clear();
  }

  void HexPart(const std::u16string &text, size_t at, int number) {
    Hex result = HexBytes(text, at, &pendingData_);
    if (result == Hex::kGoesOn) return;
    if (result == Hex::kDone) return FinishPending();
    Drop();
    Report(number, HexProblem(result));
  }

  // multi_sz:"first","second" - a comma at the end says more strings follow
  // in the next line.
  void MultiSz(const std::u16string &text, size_t at, int number) {
    for (;;) {
      at = SkipBlanks(text, at);
      std::u16string string;
      const char *problem = nullptr;
      if (at == text.size() || text[at] != u'"') break;
      if (!Quoted(text, &at, number, &string, &problem)) {
        Drop();
        return Report(number, problem ? problem : "a string of multi_sz: has no closing quote");
      }
      PutUnits(string, &pendingData_);
      at = SkipBlanks(text, at);
      if (at < text.size() && text[at] == u',') {
        at = SkipBlanks(text, at + 1);
        if (at < text.size() && text[at] == u'\\') ++at;  // the editors' continuation mark
        if (RestIsComment(text, at)) return;              // goes on in the next line
        continue;
      }
      if (RestIsComment(text, at)) return FinishPending();
      break;
    }
    Drop();
    Report(number, "multi_sz: needs strings in quotes separated by commas");
  }

  // A line after data that goes on: blank and comment lines are passed
  // over; any other line must carry the data on, or the value is left out
  // together with that line.
  void Continue(const std::u16string &line, int number) {
    size_t at = SkipBlanks(line, 0);
    if (at == line.size() || line[at] == u';') return;
    if (pending_ == Pending::kMultiSz) {
      if (line[at] == u'"' && !IsValueLine(line, at)) return MultiSz(line, at, number);
    } else if (HexDigit(line[at]) >= 0) {
      return HexPart(line, at, number);
    }
    Drop();
    Report(number, "the data of line " + std::to_string(pendingLine_) +
                       " ends with a continuation but this line does not go on with it; "
                       "the value and this line are left out");
  }

  // True when the quoted text at line[at] is followed by '=': a value line.
  static bool IsValueLine(const std::u16string &line, size_t at) {
    for (size_t i = at + 1; i < line.size(); ++i) {
      if (line[i] == u'\\') {
        ++i;
      } else if (line[i] == u'"') {
        i = SkipBlanks(line, i + 1);
        return i < line.size() && line[i] == u'=';
      }
    }
    return false;
  }

  void Drop() {
    pending_ = Pending::kNone;
    pendingData_.clear();
  }

  void FinishPending() {
    std::vector<BYTE> &data = pendingData_;
    DWORD type = pendingType_;
    if (pending_ == Pending::kMultiSz) {
      data.push_back(0);
      data.push_back(0);
    } else if (!data.empty() && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
      // Text data gets its terminator when it has none, as the importers
      // add it; in a REGEDIT4 file it is code page text, kept as UTF-16.
      if (regedit4_) {
        if (data.back() != 0) data.push_back(0);
        std::u16string text =
            FromCodePage(reinterpret_cast<const char *>(data.data()), data.size());
        data.clear();
        for (char16_t c : text) {
          data.push_back(static_cast<BYTE>(c));
          data.push_back(static_cast<BYTE>(c >> 8));
        }
      } else if (data.size() % 2 == 0 && (data[data.size() - 2] != 0 || data.back() != 0)) {
        // UTF-16 text of an odd number of bytes ends in half a unit: kept
        // as written.
        data.insert(data.end(), {0, 0});
      }
    }
    pending_ = Pending::kNone;
    Set(pendingKey_, pendingName_, type, data);
    data.clear();
    LetGoIfLarge(&data);
  }

  void Set(KeyId key, const std::u16string &name, DWORD type, const std::vector<BYTE> &data) {
    tree_.SetValue(key, name, type, data.data(), data.size());
  }

  static constexpr const char *kTextAfter = "text after the value (a comment must start with ;)";

  Tree &tree_;
  std::string file_;
  bool headerSeen_ = false;
  bool refused_ = false;
  bool regedit4_ = false;
  bool sawKey_ = false;
  KeyId current_ = kNoKey;
  Pending pending_ = Pending::kNone;
  KeyId pendingKey_ = kNoKey;
  std::u16string pendingName_;
  DWORD pendingType_ = REG_NONE;
  int pendingLine_ = 0;
  std::vector<BYTE> pendingData_;
  // Room reused from line to line.
  std::u16string string_;
  std::vector<BYTE> data_;
};

}  // namespace

void ParseRegFile(DeviceText *file, Tree *tree) {
  Encoding encoding = EncodingOf(*file);
  Parser parser(tree, file->name);
  tree->Reserve(file->bytes.size());
  DeviceLines lines(file->bytes, encoding == Encoding::kUtf16LE   ? DeviceLines::kUtf16LE
                                 : encoding == Encoding::kUtf16BE ? DeviceLines::kUtf16BE
                                                                  : DeviceLines::kBytes);
  std::u16string line;
  std::string_view bytes;
  while (lines.Next(&bytes)) {
    DecodeLine(bytes, encoding, &line);
    // The last line is decoded: the file's bytes are no longer needed.
    if (lines.AtEnd()) std::string().swap(file->bytes);
    parser.Feed(line, lines.number());
  }
  parser.End();
  tree->Finish();
}

void ParseRegFile(const std::string &bytes, Tree *tree, const std::string &fileName) {
  DeviceText file;
  file.name = fileName;
  file.bytes = bytes;
  file.mark = TakeByteOrderMark(&file.bytes);
  ParseRegFile(&file, tree);
}

const Source kRegFileSource = {"registry.reg", [](DeviceText *text, Tree *tree) {
                                 if (text)
                                   ParseRegFile(text, tree);
                                 else
                                   tree->Finish();
                               }};

}  // namespace reg
}  // namespace host
