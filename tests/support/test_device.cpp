// test_device.cpp - temporary device folders and runs of the built program.
#include "test_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform_testing.h"

namespace testing_device {
namespace {

void MakeFolders(const std::string &path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    ::mkdir(path.substr(0, slash).c_str(), 0777);
  ::mkdir(path.c_str(), 0777);
}

void RemoveTree(const std::string &path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    ::chmod(path.c_str(), 0700);
    if (DIR *d = ::opendir(path.c_str())) {
      while (struct dirent *e = ::readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        RemoveTree(path + "/" + e->d_name);
      }
      ::closedir(d);
    }
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}

}  // namespace

TestDevice::TestDevice() {
  const char *tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tovik-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back(0);
  if (!::mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = name.data();
  MakeFolders(root());
  ::setenv("TOVIK_DEVICE", folder_.c_str(), 1);
  PlatformClearFaults();
  PlatformResetDevice();
}

TestDevice::~TestDevice() {
  RemoveTree(folder_);
  ::unsetenv("TOVIK_DEVICE");
  PlatformClearFaults();
  PlatformResetDevice();
}

void TestDevice::write(const std::string &relative, const std::string &bytes) const {
  std::string path = folder_ + "/" + relative;
  MakeFolders(path.substr(0, path.rfind('/')));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

void TestDevice::mkdir(const std::string &relative) const { MakeFolders(folder_ + "/" + relative); }

void TestDevice::writeSettings(const std::string &text) const {
  write("root/My Documents/tovik.cfg", text);
}

std::string TestDevice::read(const std::string &relative) const {
  PlatformSettleWrites();
  return ReadHostFile(folder_ + "/" + relative);
}

std::vector<std::string> TestDevice::list(const std::string &relative) const {
  std::vector<std::string> names;
  if (DIR *d = ::opendir((folder_ + "/" + relative).c_str())) {
    while (struct dirent *e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadHostFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

RunResult RunTovik(const std::string &device, const std::vector<std::string> &args) {
  // Output goes to temporary files, so a chatty run can never fill a pipe.
  char outName[] = "/tmp/tovik-out-XXXXXX";
  char errName[] = "/tmp/tovik-err-XXXXXX";
  int outFd = ::mkstemp(outName);
  int errFd = ::mkstemp(errName);
  if (outFd < 0 || errFd < 0) throw std::runtime_error("mkstemp failed");
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    ::setenv("TOVIK_DEVICE", device.c_str(), 1);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(TOVIK_BINARY));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(TOVIK_BINARY, argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(outFd);
  ::close(errFd);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadHostFile(outName);
  result.err = ReadHostFile(errName);
  ::unlink(outName);
  ::unlink(errName);
  return result;
}

}  // namespace testing_device
