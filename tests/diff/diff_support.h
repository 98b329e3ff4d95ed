// diff_support.h - snapshot texts in temporary files and runs of the
// comparison on them, for the tovik-diff tests.
#ifndef TOVIK_DIFF_SUPPORT_H
#define TOVIK_DIFF_SUPPORT_H

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "diff.h"

namespace diff_test {

// The lines joined with CR LF and ended with one, as tovik writes them.
inline std::string Snapshot(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string &line : lines) text += line + "\r\n";
  return text;
}

// A folder of its own for one test, removed afterwards.
class Folder {
 public:
  Folder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("tovik-diff-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Folder(const Folder &) = delete;
  Folder &operator=(const Folder &) = delete;

  std::string Write(const std::string &name, const std::string &bytes) const {
    std::string file = (path_ / name).string();
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

struct Run {
  int code = -1;
  std::string out, err;
};

inline Run DiffFiles(const std::vector<std::string> &args) {
  tovik_diff::StringOutput out, err;
  Run run;
  run.code = tovik_diff::DiffMain(args, out, err);
  run.out = out.text;
  run.err = err.text;
  return run;
}

// Compares two snapshot texts, given to the program as old.tvk and new.tvk
// in a temporary folder (the messages name them by their full path).
inline Run Diff(const std::string &oldText, const std::string &newText,
                std::vector<std::string> options = {}) {
  Folder folder;
  options.push_back(folder.Write("old.tvk", oldText));
  options.push_back(folder.Write("new.tvk", newText));
  return DiffFiles(options);
}

}  // namespace diff_test

#endif  // TOVIK_DIFF_SUPPORT_H
