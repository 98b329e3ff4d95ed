// snapshot_fuzz.cpp - libFuzzer target: two snapshot texts, split at the
// first NUL byte of the input, compared both ways and in both formats.
// Whatever the input, the comparison must end with a status of 0, 1 or 2.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "diff.h"

namespace {

class Discard : public tovik_diff::Output {
 public:
  bool Write(const char *, size_t) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string input(reinterpret_cast<const char *>(data), size);
  size_t split = input.find('\0');
  std::string first = input.substr(0, split);
  std::string second = split == std::string::npos ? first : input.substr(split + 1);
  Discard out, err;
  for (tovik_diff::Format format :
       {tovik_diff::Format::kText, tovik_diff::Format::kJson, tovik_diff::Format::kHtml}) {
    int a = tovik_diff::CompareTexts(first, second, format, out, err);
    int b = tovik_diff::CompareTexts(second, first, format, out, err);
    if (a < 0 || a > 2 || b < 0 || b > 2) std::abort();
  }
  return 0;
}
