// diff.h - comparing two tovik snapshots.
//
// The old snapshot is read whole and indexed; the new one is streamed past
// the index twice: the first pass matches every item and counts the
// differences (so the summary can come first), the second pass writes the
// report. Memory is the old snapshot's text plus a few words per line of
// it; time is linear in the size of both.
//
// Items are matched by name: registry keys by their full path, values by
// their name within their key, directories by their path, files by their
// name within their directory, database objects by their kind and name.
// Names are compared byte for byte, as the snapshot holds them. An item
// whose name occurs more than once is matched occurrence by occurrence.
#ifndef TOVIK_DIFF_DIFF_H
#define TOVIK_DIFF_DIFF_H

#include <cstdint>
#include <string>
#include <vector>

namespace tovik_diff {

// Where the report goes: the program's standard output, or a string in
// tests. Returns false when the write failed.
class Output {
 public:
  virtual ~Output() = default;
  virtual bool Write(const char *data, size_t size) = 0;
};

class StringOutput : public Output {
 public:
  bool Write(const char *data, size_t size) override {
    text.append(data, size);
    return true;
  }
  std::string text;
};

enum class Format { kText, kJson, kHtml };

// Compares the snapshot files `oldPath` and `newPath` and writes the report
// to `out`; messages about trouble go to `err`. Returns the exit status:
// 0 nothing differs, 1 something differs, 2 trouble.
int CompareFiles(const std::string &oldPath, const std::string &newPath, Format format, Output &out,
                 Output &err);

// The same for snapshot texts held in memory, named OLD and NEW in the
// report and messages.
int CompareTexts(const std::string &oldText, const std::string &newText, Format format, Output &out,
                 Output &err);

// The whole command line (without the program name): options, OLD, NEW.
int DiffMain(const std::vector<std::string> &args, Output &out, Output &err);

}  // namespace tovik_diff

#endif  // TOVIK_DIFF_DIFF_H
