// main.cpp - tovik-diff: compares two tovik snapshots.
#include <cstdio>
#include <string>
#include <vector>

#include "diff.h"

namespace {

class FileOutput : public tovik_diff::Output {
 public:
  explicit FileOutput(std::FILE *file) : file_(file) {}
  bool Write(const char *data, size_t size) override {
    return std::fwrite(data, 1, size, file_) == size && std::fflush(file_) == 0;
  }

 private:
  std::FILE *file_;
};

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  FileOutput out(stdout);
  FileOutput err(stderr);
  return tovik_diff::DiffMain(args, out, err);
}
