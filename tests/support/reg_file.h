// reg_file.h - registry export files as a device folder's registry.reg
// holds them. Header only, for the tests and the benchmarks.
#ifndef TOVIK_TEST_REG_FILE_H
#define TOVIK_TEST_REG_FILE_H

#include <string>

namespace testing_device {

// The bytes of an export file of version 5 ("Windows Registry Editor
// Version 5.00"): `text` in UTF-16LE after a byte order mark.
inline std::string Utf16RegFile(const std::u16string &text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

}  // namespace testing_device

#endif  // TOVIK_TEST_REG_FILE_H
