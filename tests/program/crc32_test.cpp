// The file checksum: check values, the fast method against the table, and
// files of awkward sizes, states and names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "snapshot/crc32.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

DWORD TableCrc(const std::string &bytes) {
  Crc32InitTable();
  return Crc32Update(0, reinterpret_cast<const BYTE *>(bytes.data()),
                     static_cast<LONG>(bytes.size()));
}

TEST(Crc32, CheckValues) {
  EXPECT_EQ(0u, TableCrc(""));
  EXPECT_EQ(0x2C17398Cu, TableCrc("abc"));
  EXPECT_EQ(0x89A1897Fu, TableCrc("123456789"));
  // Continuing a crc over a second piece is the crc of the whole.
  Crc32InitTable();
  DWORD part = Crc32Update(0, reinterpret_cast<const BYTE *>("1234"), 4);
  EXPECT_EQ(0x89A1897Fu, Crc32Update(part, reinterpret_cast<const BYTE *>("56789"), 5));
  EXPECT_EQ(part, Crc32Update(part, reinterpret_cast<const BYTE *>("x"), -1));
}

TEST(Crc32, FastMethodAgreesWithTheTableOnRandomData) {
  std::mt19937 random(12345);
  std::vector<BYTE> data(70000);
  for (BYTE &b : data) b = static_cast<BYTE>(random());
  Crc32InitTable();
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {511u, 512u, 1023u, 4096u, 16383u, 16384u, 16385u, 65536u, 69000u})
    lengths.push_back(n);
  for (size_t length : lengths) {
    for (size_t offset : {0u, 1u, 3u, 7u, 8u, 15u}) {
      if (offset + length > data.size()) continue;
      for (DWORD start : {0u, 0xFFFFFFFFu, 0x89A1897Fu}) {
        const BYTE *p = data.data() + offset;
        ASSERT_EQ(Crc32Update(start, p, static_cast<LONG>(length)),
                  Crc32UpdateFast(start, p, static_cast<LONG>(length)))
            << "length " << length << " offset " << offset << " start " << start;
      }
    }
  }
  // Pieces of a stream give the crc of the whole stream.
  DWORD whole = Crc32Update(0, data.data(), static_cast<LONG>(data.size()));
  DWORD pieces = 0;
  for (size_t at = 0; at < data.size();) {
    size_t n = std::min<size_t>(data.size() - at, random() % 5000);
    pieces = Crc32UpdateFast(pieces, data.data() + at, static_cast<LONG>(n));
    at += n;
  }
  EXPECT_EQ(whole, pieces);
}

class FileChecksum : public ::testing::Test {
 protected:
  TestDevice device;
};

TEST_F(FileChecksum, FilesOfEveryBlockCount) {
  std::mt19937 random(99);
  std::string block(3 * CRC32_READ_BYTES + 100, '\0');
  for (char &c : block) c = static_cast<char>(random());
  device.write("root/empty.bin", "");
  device.write("root/check.txt", "123456789");
  device.write("root/one.bin", block.substr(0, CRC32_READ_BYTES));
  device.write("root/many.bin", block);
  EXPECT_EQ(0u, FileCrc32(L"\\empty.bin"));
  EXPECT_EQ(0x89A1897Fu, FileCrc32(L"\\CHECK.TXT"));  // device paths ignore case
  EXPECT_EQ(TableCrc(block.substr(0, CRC32_READ_BYTES)), FileCrc32(L"\\one.bin"));
  EXPECT_EQ(TableCrc(block), FileCrc32(L"/many.bin"));
}

TEST_F(FileChecksum, WhatCannotBeOpenedGivesZero) {
  EXPECT_EQ(0u, FileCrc32(L"\\missing.bin"));
  device.mkdir("root/folder");
  EXPECT_EQ(0u, FileCrc32(L"\\folder"));
  ASSERT_EQ(0, ::mkfifo(device.host("fifo").c_str(), 0644));
  EXPECT_EQ(0u, FileCrc32(L"\\fifo"));  // returns at once: a FIFO is never read
  device.write("root/locked.txt", "abc");
  ::chmod(device.host("locked.txt").c_str(), 0);
  // As root, permission bits do not stop a read: the file is then checksummed.
  EXPECT_EQ(::geteuid() == 0 ? 0x2C17398Cu : 0u, FileCrc32(L"\\locked.txt"));
}

TEST_F(FileChecksum, FifoIsNeverOpened) {
  // A writer waiting for a reader of the FIFO stays waiting: the checksum
  // does not even open it.
  std::string fifo = device.host("fifo");
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
  std::atomic<bool> writerReleased{false};
  std::thread writer([&] {
    int fd = ::open(fifo.c_str(), O_WRONLY);
    writerReleased = true;
    if (fd >= 0) ::close(fd);
  });
  // The pauses give the writer time to reach open(); on a busy machine it
  // may not, and the check below still holds, so they never fail a run.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(0u, FileCrc32(L"\\fifo"));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(writerReleased);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the writer go
  writer.join();
  if (reader >= 0) ::close(reader);
}

// A file a search has just listed is opened at once for its checksum; one
// swapped for a FIFO in between is refused, not read or waited on.
TEST_F(FileChecksum, FileSwappedForAFifoAfterItsSearchIsNotWaitedOn) {
  device.write("root/swap.txt", "abc");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"\\swap.txt", &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  ASSERT_EQ(0, ::unlink(device.host("swap.txt").c_str()));
  ASSERT_EQ(0, ::mkfifo(device.host("swap.txt").c_str(), 0644));
  EXPECT_EQ(0u, FileCrc32(L"\\swap.txt"));
  FindClose(search);
}

TEST_F(FileChecksum, NameOutsideTheCodePageIsFoundByItsWidePath) {
  device.write("root/\xD0\xB6\xD1\x83\xD0\xBA.txt", "abc");  // Cyrillic, not in 1252
  EXPECT_EQ(0x2C17398Cu, FileCrc32(L"\\\x0436\x0443\x043A.txt"));
}

}  // namespace
