// regfile.cpp - the registry tree and the reader of registry editor export
// files.
//
// Two kinds of file are read, as the desktop and device registry editors
// write them:
//   REGEDIT4                              narrow text in the device code page
//   Windows Registry Editor Version 5.00  UTF-16LE with a byte order mark
// A version 5 file saved as UTF-8 (with or without its mark) is read too.
//
// Lines, after leading blanks:
//   ; or #          a comment              [ROOT\path]   a key (made as needed)
//   [-ROOT\path]    deletes the key and everything below it
//   "name"=DATA     a value; @=DATA is the default value
// DATA is "string" (escapes \\ and \"), dword:XXXXXXXX, hex:bytes (binary),
// hex(N):bytes with N the type number in hexadecimal as the editors write
// it (hex(2) expandable string, hex(7) multi-string, hex(b) qword), or - to
// delete the value. A value line whose last character is a backslash goes on
// in the next line. In a REGEDIT4 file, hex(1), hex(2) and hex(7) data are
// narrow code page text and become UTF-16LE as the device keeps them.
#include "regfile.h"

#include <algorithm>

namespace host {
namespace reg {

// ===========================================================================
// The tree
// ===========================================================================

namespace {
// Keys with fewer values than this are searched by a plain scan.
constexpr size_t kIndexFrom = 16;

bool SameName(const std::u16string &a, const std::u16string &upperB) {
  if (a.size() != upperB.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (static_cast<char16_t>(UpperChar(a[i])) != upperB[i]) return false;
  return true;
}
}  // namespace

std::u16string Upper(const std::u16string &name) {
  std::u16string upper(name.size(), u'\0');
  for (size_t i = 0; i < name.size(); ++i) upper[i] = static_cast<char16_t>(UpperChar(name[i]));
  return upper;
}

Tree::Tree() { keys_.resize(kRootCount); }

Key *Tree::Child(const Key *parent, const std::u16string &name) {
  auto it = parent->byName.find(Upper(name));
  return it == parent->byName.end() ? nullptr : it->second;
}

Key *Tree::MakeChild(Key *parent, const std::u16string &name) {
  std::u16string upper = Upper(name);
  auto it = parent->byName.find(upper);
  if (it != parent->byName.end()) return it->second;
  keys_.emplace_back();
  Key *child = &keys_.back();
  child->name = name;
  parent->byName.emplace(std::move(upper), child);
  return child;
}

bool Tree::RemoveChild(Key *parent, const std::u16string &name) {
  return parent->byName.erase(Upper(name)) != 0;
}

Value *Tree::FindValue(Key *key, const std::u16string &name) {
  std::u16string upper = Upper(name);
  if (key->valueIndex) {
    auto it = key->valueIndex->find(upper);
    return it == key->valueIndex->end() ? nullptr : &key->values[it->second];
  }
  for (Value &value : key->values)
    if (!value.deleted && SameName(value.name, upper)) return &value;
  return nullptr;
}

void Tree::SetValue(Key *key, const std::u16string &name, DWORD type, std::vector<BYTE> data) {
  if (Value *existing = FindValue(key, name)) {
    existing->type = type;
    existing->data = std::move(data);
    return;
  }
  key->values.emplace_back();
  Value &value = key->values.back();
  value.name = name;
  value.type = type;
  value.data = std::move(data);
  if (key->valueIndex) {
    key->valueIndex->emplace(Upper(name), key->values.size() - 1);
  } else if (key->values.size() >= kIndexFrom) {
    key->valueIndex = std::make_unique<std::unordered_map<std::u16string, size_t>>();
    for (size_t i = 0; i < key->values.size(); ++i)
      if (!key->values[i].deleted) key->valueIndex->emplace(Upper(key->values[i].name), i);
  }
}

void Tree::DeleteValue(Key *key, const std::u16string &name) {
  Value *value = FindValue(key, name);
  if (!value) return;
  value->deleted = true;
  value->data.clear();
  value->data.shrink_to_fit();
  if (key->valueIndex) key->valueIndex->erase(Upper(name));
}

void Tree::Finish() {
  for (Key &key : keys_) {
    key.subkeys.clear();
    key.subkeys.reserve(key.byName.size());
    for (auto &entry : key.byName) key.subkeys.push_back(entry.second);
    auto dead = std::remove_if(key.values.begin(), key.values.end(),
                               [](const Value &v) { return v.deleted; });
    if (dead != key.values.end()) {
      key.values.erase(dead, key.values.end());
      if (key.valueIndex) {
        key.valueIndex->clear();
        for (size_t i = 0; i < key.values.size(); ++i)
          key.valueIndex->emplace(Upper(key.values[i].name), i);
      }
    }
  }
}

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

std::u16string Trim(const std::u16string &text) {
  size_t start = 0, end = text.size();
  while (start < end && IsBlank(text[start])) ++start;
  while (end > start && IsBlank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

void TrimInPlace(std::u16string *text) {
  while (!text->empty() && IsBlank(text->back())) text->pop_back();
  size_t start = 0;
  while (start < text->size() && IsBlank((*text)[start])) ++start;
  text->erase(0, start);
}

bool EqualsAscii(const std::u16string &text, const char *ascii) {
  size_t n = std::strlen(ascii);
  if (text.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (text[i] != static_cast<char16_t>(static_cast<unsigned char>(ascii[i]))) return false;
  return true;
}

// True when `text` starts with `ascii` (an ASCII lower-case prefix) in any
// case.
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

// Reads 1..maxDigits hex digits from text[*at]; false when there are none
// or too many.
bool ReadHex(const std::u16string &text, size_t *at, int maxDigits, uint32_t *value) {
  uint32_t v = 0;
  int digits = 0;
  while (*at < text.size() && HexDigit(text[*at]) >= 0) {
    if (++digits > maxDigits) return false;
    v = v << 4 | static_cast<uint32_t>(HexDigit(text[*at]));
    ++*at;
  }
  *value = v;
  return digits > 0;
}

std::string Narrow(const std::u16string &text) {
  std::wstring wide(text.begin(), text.end());
  return WideToHostName(wide);
}

class Parser {
 public:
  Parser(Tree *tree, const std::string &fileName, bool narrowFile)
      : tree_(*tree), file_(fileName), narrowFile_(narrowFile) {}

  void Header(const std::u16string &line, int number) {
    std::u16string text = Trim(line);
    if (EqualsAscii(text, kHeader4)) {
      regedit4_ = true;
    } else if (EqualsAscii(text, kHeader5)) {
      regedit4_ = false;
    } else {
      // Without a header the lines are read all the same, with the
      // meaning the file's encoding suggests.
      regedit4_ = narrowFile_;
      Report(number, "expected REGEDIT4 or Windows Registry Editor Version 5.00 first");
      Line(line, number);
    }
  }

  // Takes the line over, so that a long one is never copied.
  void Line(std::u16string line, int number) {
    TrimInPlace(&line);
    if (line.empty() || line[0] == u';' || line[0] == u'#') return;
    if (line[0] == u'[') return KeyLine(line, number);
    if (line[0] == u'"' || line[0] == u'@') return ValueLine(line, number);
    Report(number, "not a key, a value or a comment");
  }

 private:
  void Report(int number, const std::string &message) { ReportMalformed(file_, number, message); }

  void KeyLine(const std::u16string &line, int number) {
    current_ = nullptr;
    sawKey_ = true;
    if (line.back() != u']' || line.size() < 2) return Report(number, "key line without ']'");
    std::u16string path = line.substr(1, line.size() - 2);
    bool remove = !path.empty() && path[0] == u'-';
    if (remove) path.erase(0, 1);
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (;;) {
      size_t slash = path.find(u'\\', start);
      parts.push_back(path.substr(start, slash == std::u16string::npos ? slash : slash - start));
      if (slash == std::u16string::npos) break;
      start = slash + 1;
    }
    // "[HKEY_CURRENT_USER\]" names the root itself.
    if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
    int root = RootOf(parts[0]);
    if (root < 0) return Report(number, "unknown root key '" + Narrow(parts[0]) + "'");
    for (size_t i = 1; i < parts.size(); ++i) {
      if (parts[i].empty()) return Report(number, "empty key name in the path");
      if (parts[i].find(u'\0') != std::u16string::npos)
        return Report(number, "NUL character in a key name");
    }
    Key *key = tree_.root(root);
    if (remove) {
      if (parts.size() == 1) return Report(number, "a root key cannot be deleted");
      for (size_t i = 1; key && i + 1 < parts.size(); ++i) key = Tree::Child(key, parts[i]);
      if (key) Tree::RemoveChild(key, parts.back());
      return;  // values that follow a deleted key go nowhere
    }
    for (size_t i = 1; i < parts.size(); ++i) key = tree_.MakeChild(key, parts[i]);
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

  // A quoted text from line[*at] (which is the opening quote); \\ and \"
  // stand for \ and ", any other backslash is itself.
  static bool Quoted(const std::u16string &line, size_t *at, std::u16string *out) {
    size_t i = *at + 1;
    out->clear();
    // Room for the text up to the closing quote, taken at once: a long
    // string then grows no spare capacity.
    size_t close = i;
    while (close < line.size() && line[close] != u'"') close += line[close] == u'\\' ? 2 : 1;
    out->reserve(std::min(close, line.size()) - i);
    while (i < line.size()) {
      char16_t c = line[i];
      if (c == u'\\' && i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'"')) {
        *out += line[i + 1];
        i += 2;
      } else if (c == u'"') {
        *at = i + 1;
        return true;
      } else {
        *out += c;
        ++i;
      }
    }
    return false;
  }

  // `line` is the parser's own: a string's line is let go once its text is
  // taken, so that a long one is not held twice.
  void ValueLine(std::u16string &line, int number) {
    std::u16string name;
    size_t at = 0;
    if (line[0] == u'@') {
      at = 1;
    } else if (!Quoted(line, &at, &name)) {
      return Report(number, "value name without its closing quote");
    }
    if (name.find(u'\0') != std::u16string::npos)
      return Report(number, "NUL character in a value name");
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at >= line.size() || line[at] != u'=') return Report(number, "expected '=' after the name");
    ++at;
    while (at < line.size() && IsBlank(line[at])) ++at;
    // Values under a key line that was refused or that deleted its key go
    // nowhere, without a report of their own: the key line says it.
    if (!current_) {
      if (!sawKey_) Report(number, "value outside of a key");
      return;
    }
    if (at == line.size()) return Report(number, "value without data");

    if (line[at] == u'-' && at + 1 == line.size()) return Tree::DeleteValue(current_, name);

    std::vector<BYTE> data;
    if (line[at] == u'"') {
      std::u16string text;
      if (!Quoted(line, &at, &text)) return Report(number, "string without its closing quote");
      if (at != line.size()) return Report(number, "unexpected text after the string");
      std::u16string().swap(line);
      PutUnits(text, &data);
      return Tree::SetValue(current_, name, REG_SZ, std::move(data));
    }
    if (StartsWithNoCase(line, at, "dword:")) {
      at += 6;
      uint32_t v = 0;
      if (!ReadHex(line, &at, 8, &v) || at != line.size())
        return Report(number, "dword data must be 1 to 8 hex digits");
      data = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
              static_cast<BYTE>(v >> 24)};
      return Tree::SetValue(current_, name, REG_DWORD, std::move(data));
    }
    uint32_t type;
    if (StartsWithNoCase(line, at, "hex:")) {
      type = REG_BINARY;
      at += 4;
    } else if (StartsWithNoCase(line, at, "hex(")) {
      at += 4;
      if (!ReadHex(line, &at, 8, &type) || line.compare(at, 2, u"):") != 0)
        return Report(number, "hex(N): needs a hex type number");
      at += 2;
    } else {
      return Report(number, "unknown value data");
    }
    if (!HexBytes(line, at, &data))
      return Report(number, "hex data must be bytes separated by commas");
    if (regedit4_ && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
      std::u16string text = FromCodePage(reinterpret_cast<const char *>(data.data()), data.size());
      data.clear();
      for (char16_t c : text) {
        data.push_back(static_cast<BYTE>(c));
        data.push_back(static_cast<BYTE>(c >> 8));
      }
    }
    Tree::SetValue(current_, name, type, std::move(data));
  }

  static void PutUnits(const std::u16string &text, std::vector<BYTE> *data) {
    data->reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
      data->push_back(static_cast<BYTE>(c));
      data->push_back(static_cast<BYTE>(c >> 8));
    }
    data->push_back(0);
    data->push_back(0);
  }

  // "01,ab, ff" (blanks allowed around bytes, a trailing comma allowed).
  static bool HexBytes(const std::u16string &line, size_t at, std::vector<BYTE> *data) {
    for (;;) {
      while (at < line.size() && IsBlank(line[at])) ++at;
      if (at == line.size()) return true;
      uint32_t byte = 0;
      if (!ReadHex(line, &at, 2, &byte)) return false;
      data->push_back(static_cast<BYTE>(byte));
      while (at < line.size() && IsBlank(line[at])) ++at;
      if (at == line.size()) return true;
      if (line[at] != u',') return false;
      ++at;
    }
  }

  Tree &tree_;
  std::string file_;
  bool narrowFile_;
  bool regedit4_ = false;
  bool sawKey_ = false;
  Key *current_ = nullptr;
};

}  // namespace

void ParseRegFile(DeviceText *file, Tree *tree) {
  Encoding encoding = EncodingOf(*file);
  Parser parser(tree, file->name, encoding == Encoding::kCodePage);
  DeviceLines lines(file->bytes, encoding == Encoding::kUtf16LE   ? DeviceLines::kUtf16LE
                                 : encoding == Encoding::kUtf16BE ? DeviceLines::kUtf16BE
                                                                  : DeviceLines::kBytes);
  bool headerSeen = false;
  std::u16string line;
  std::u16string logical;  // a value line with its continuations
  int logicalNumber = 0;
  std::string_view bytes;
  while (lines.Next(&bytes)) {
    DecodeLine(bytes, encoding, &line);
    int number = lines.number();
    // The last line is decoded: the file's bytes are no longer needed.
    if (lines.AtEnd()) std::string().swap(file->bytes);

    if (!logical.empty()) {
      // A continuation: its leading blanks go, the rest joins the line.
      size_t first = 0;
      while (first < line.size() && IsBlank(line[first])) ++first;
      logical.append(line, first, std::u16string::npos);
    } else {
      if (!headerSeen) {
        if (Trim(line).empty()) continue;
        headerSeen = true;
        parser.Header(line, number);
        continue;
      }
      logical.swap(line);
      logicalNumber = number;
    }
    // Strip trailing blanks and see whether the line goes on.
    while (!logical.empty() && IsBlank(logical.back())) logical.pop_back();
    size_t lead = logical.find_first_not_of(u" \t");
    bool valueLine =
        lead != std::u16string::npos && (logical[lead] == u'"' || logical[lead] == u'@');
    if (valueLine && logical.back() == u'\\') {
      logical.pop_back();
      if (!lines.AtEnd()) continue;  // the last line of the file cannot go on
    }
    parser.Line(std::move(logical), logicalNumber);
    logical.clear();
  }
  if (!logical.empty()) parser.Line(std::move(logical), logicalNumber);
  tree->Finish();
}

void ParseRegFile(const std::string &bytes, Tree *tree, const std::string &fileName) {
  DeviceText file;
  file.name = fileName;
  file.bytes = bytes;
  file.mark = TakeByteOrderMark(&file.bytes);
  ParseRegFile(&file, tree);
}

}  // namespace reg
}  // namespace host
