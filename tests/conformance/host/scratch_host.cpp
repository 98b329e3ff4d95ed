// scratch_host.cpp - the conformance fixture on a device host: a test
// device whose root holds the scratch folder \Scratch and whose
// registry.reg holds the scratch keys.
#include <cstdio>

#include "platform_testing.h"
#include "reg_file.h"
#include "scratch.h"
#include "test_device.h"

namespace conformance {

namespace {

// A device path (ASCII in these tests) as a host path relative to root/.
std::string HostRelative(const std::wstring &relative) {
  std::string out;
  for (wchar_t c : relative) out += c == L'\\' ? '/' : static_cast<char>(c);
  return out;
}

// UTF-8 for the export file's text.
std::string Utf8(const std::wstring &text) {
  std::string out;
  for (wchar_t c : text) {
    uint32_t u = static_cast<uint32_t>(c);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string Quoted(const std::wstring &text) {
  std::string out = "\"";
  for (char c : Utf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string ValueName(const std::wstring &name) { return name.empty() ? "@" : Quoted(name); }

}  // namespace

struct Scratch::State {
  testing_device::TestDevice device;
  // The export file: one block per key, in the order the keys were made.
  std::vector<std::pair<std::wstring, std::string>> keys;

  std::string &Block(const std::wstring &key) {
    for (auto &entry : keys)
      if (entry.first == key) return entry.second;
    keys.emplace_back(key, std::string());
    return keys.back().second;
  }
};

Scratch::Scratch() : state_(new State) { state_->device.mkdir("root/Scratch"); }

Scratch::~Scratch() = default;

std::wstring Scratch::Path(const std::wstring &relative) const {
  return relative.empty() ? L"\\Scratch" : L"\\Scratch\\" + relative;
}

void Scratch::WriteFile(const std::wstring &relative, const std::string &bytes) const {
  state_->device.write("root/Scratch/" + HostRelative(relative), bytes);
}

void Scratch::MakeFolder(const std::wstring &relative) const {
  state_->device.mkdir("root/Scratch/" + HostRelative(relative));
}

void Scratch::AddKey(const std::wstring &key) { state_->Block(key); }

void Scratch::SetString(const std::wstring &key, const std::wstring &name,
                        const std::wstring &value) {
  state_->Block(key) += ValueName(name) + "=" + Quoted(value) + "\n";
}

void Scratch::SetDword(const std::wstring &key, const std::wstring &name, DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  state_->Block(key) += ValueName(name) + "=dword:" + text + "\n";
}

void Scratch::SetBinary(const std::wstring &key, const std::wstring &name, DWORD type,
                        const std::vector<BYTE> &bytes) {
  std::string line = ValueName(name) + "=hex(" + std::to_string(type) + "):";
  for (size_t i = 0; i < bytes.size(); ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    if (i) line += ",";
    line += hex;
  }
  state_->Block(key) += line + "\n";
}

void Scratch::Commit() {
  std::string text = "Windows Registry Editor Version 5.00\n";
  std::string root = "HKEY_CURRENT_USER\\" + Utf8(kScratchKey);
  for (const auto &entry : state_->keys) {
    text += "\n[" + root + (entry.first.empty() ? "" : "\\" + Utf8(entry.first)) + "]\n";
    text += entry.second;
  }
  // The text is UTF-8 with LF line ends; the file takes CR LF.
  std::u16string units;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t u = c;
    size_t n = 1;
    if (c >= 0xE0) {
      u = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
      n = 3;
    } else if (c >= 0xC0) {
      u = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
      n = 2;
    }
    if (u == '\n') units += u'\r';
    units += static_cast<char16_t>(u);
    i += n;
  }
  state_->device.write("registry.reg", testing_device::Utf16RegFile(units));
  PlatformResetDevice();
}

}  // namespace conformance
