// test_device.h - a device folder made in a temporary directory for a test,
// and helpers to fill it, read it and run the built program on it.
#ifndef TOVIK_TEST_DEVICE_H
#define TOVIK_TEST_DEVICE_H

#include <string>
#include <vector>

namespace testing_device {

class TestDevice {
 public:
  // Makes an empty device folder (with root/) and points the platform
  // layer at it.
  TestDevice();
  // Removes the folder and points the platform layer away from it.
  ~TestDevice();
  TestDevice(const TestDevice &) = delete;
  TestDevice &operator=(const TestDevice &) = delete;

  const std::string &folder() const { return folder_; }
  std::string root() const { return folder_ + "/root"; }
  // Host path of a path relative to root/ ("a/b.txt").
  std::string host(const std::string &relative) const { return root() + "/" + relative; }

  // Writes a file (relative to the device folder, folders made as needed).
  void write(const std::string &relative, const std::string &bytes) const;
  void mkdir(const std::string &relative) const;
  // Writes the device's settings file (\My Documents\tovik.cfg). Runs
  // without a terminal need "Setup 0\r\n" in it to take a snapshot.
  void writeSettings(const std::string &text) const;
  // Reads a file relative to the device folder; "" when missing.
  std::string read(const std::string &relative) const;
  // Names of the entries of a folder relative to the device folder, sorted.
  std::vector<std::string> list(const std::string &relative) const;

 private:
  std::string folder_;
};

// Result of running the built program.
struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the built tovik with TOVIK_DEVICE set to `device`, the given
// arguments, no terminal (standard input from /dev/null, output captured).
RunResult RunTovik(const std::string &device, const std::vector<std::string> &args);

// Reads a whole host file.
std::string ReadHostFile(const std::string &path);

}  // namespace testing_device

#endif  // TOVIK_TEST_DEVICE_H
