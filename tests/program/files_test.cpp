// The file system listing on made trees: line layout, order, ROM files,
// exclusions, sizes, awkward entries and deep trees.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "file_times.h"
#include "output/output.h"
#include "platform_testing.h"
#include "resource.h"
#include "saved_settings.h"
#include "settings/exclude.h"
#include "settings/settings.h"
#include "snapshot/files.h"
#include "test_device.h"

using testing_device::TestDevice;

namespace {

// Header line -> the block's file lines, sorted (the file system decides
// the order inside a folder).
using Blocks = std::map<std::string, std::vector<std::string>>;

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

class Listing : public ::testing::Test {
 protected:
  void SetUp() override {
    ExcludeAdd(L".TVK");  // keeps the snapshot itself out of root listings
  }
  void TearDown() override { OutClose(); }

  // The listing of `path` as written, with line feeds for CR LF.
  std::string List(const std::wstring &path, HWND progress = nullptr) {
    EXPECT_EQ(1, OutOpen(L"\\snap.tvk", L"w"));
    DumpDirectory(progress, path.c_str());
    OutClose();
    std::string bytes = device.read("root/snap.tvk");
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i)
      if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'),
              std::count(bytes.begin(), bytes.end(), '\r'))
        << "every line ends CR LF";
    return text;
  }

  // The line the listing gives the file `relative` (under root/).
  std::string Line(const std::string &relative, const char *marker, const std::string &size,
                   const std::string &crc, const std::string &name) const {
    std::string line = testing_device::ListingDateTime(device.host(relative)) + marker;
    line += std::string(size.size() < 10 ? 10 - size.size() : 0, ' ') + size + " ";
    if (!crc.empty()) line += crc + " ";
    return line + name + "\n";
  }

  static std::vector<std::string> Headers(const std::string &text) {
    std::vector<std::string> headers;
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (text[at] == '[') headers.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    return headers;
  }

  static Blocks Split(const std::string &text) {
    Blocks blocks;
    std::string header;
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      std::string line = text.substr(at, end - at + 1);
      if (line[0] == '[')
        blocks[header = line.substr(0, line.size() - 1)];
      else
        blocks[header].push_back(line);
      at = end + 1;
    }
    for (auto &block : blocks) std::sort(block.second.begin(), block.second.end());
    return blocks;
  }

  // Depth first: every folder's subtree follows it without interruption.
  static bool DepthFirst(const std::vector<std::string> &headers) {
    for (size_t i = 0; i < headers.size(); ++i) {
      std::string prefix = headers[i].substr(0, headers[i].size() - 1) + "\\";
      bool inside = true;
      for (size_t j = i + 1; j < headers.size(); ++j) {
        bool below = headers[j].compare(0, prefix.size(), prefix) == 0;
        if (below && !inside) return false;
        inside = inside && below;
      }
    }
    return true;
  }

  TestDevice device;
  testing_device::SavedSettings settings;
  bool root = ::geteuid() == 0;  // permission bits do not stop root
};

TEST_F(Listing, LayoutByteForByte) {
  device.write("root/Tree/readme.txt", "123456789");
  device.write("root/Tree/Sub/abc.dat", "abc");
  device.mkdir("root/Tree/Sub/Empty");
  std::string expected =
      "[\\Tree]\n" + Line("Tree/readme.txt", "   ", "9", "89A1897F", "readme.txt") +
      "[\\Tree\\Sub]\n" + Line("Tree/Sub/abc.dat", "   ", "3", "2C17398C", "abc.dat") +
      "[\\Tree\\Sub\\Empty]\n";
  EXPECT_EQ(expected, List(L"\\Tree"));

  Settings.crc32 = 0;  // no checksum column
  expected = "[\\Tree]\n" + Line("Tree/readme.txt", "   ", "9", "", "readme.txt") +
             "[\\Tree\\Sub]\n" + Line("Tree/Sub/abc.dat", "   ", "3", "", "abc.dat") +
             "[\\Tree\\Sub\\Empty]\n";
  EXPECT_EQ(expected, List(L"\\Tree"));
}

TEST_F(Listing, RootIsEmptyBracketsAndTheWalkIsDepthFirst) {
  for (const char *dir : {"A", "A/A1", "A/A2", "A/A2/deep", "B", "B/B1", "C"})
    device.write(std::string("root/") + dir + "/f.txt", dir);
  device.write("root/top.txt", "");

  // The progress window shows each folder as it is listed.
  HWND progress =
      CreateDialogIndirectParamW(nullptr, LoadDialogTemplate(IDD_PROGRESS), nullptr, nullptr, 0);
  ASSERT_NE(nullptr, progress);
  std::string text = List(L"", progress);
  std::vector<std::string> headers = Headers(text);
  ASSERT_EQ(8u, headers.size()) << text;
  EXPECT_EQ("[]", headers[0]);
  EXPECT_TRUE(DepthFirst(headers)) << text;
  EXPECT_EQ(8u, PlatformRepaintCount(progress));
  WCHAR item[300] = {};
  GetWindowTextW(GetDlgItem(progress, IDC_ITEM), item, 300);
  std::string last = headers.back().substr(1, headers.back().size() - 2);
  EXPECT_EQ(std::wstring(last.begin(), last.end()), item);
  DestroyWindow(progress);

  Blocks blocks = Split(text);
  EXPECT_EQ(std::vector<std::string>{Line("top.txt", "   ", "0", "00000000", "top.txt")},
            blocks["[]"]);
  EXPECT_EQ(std::vector<std::string>{Line("A/A2/deep/f.txt", "   ", "9", "0E483675", "f.txt")},
            blocks["[\\A\\A2\\deep]"]);
}

TEST_F(Listing, RomFilesWithAndWithoutFileInRom) {
  device.write("root/Windows/coredll.dll", "abc");
  device.write("root/Windows/notes.txt", "abc");
  device.write("root/Windows/Fonts/tahoma.ttf", "123456789");
  device.write("rom.txt",
               "\\Windows\\coredll.dll\tROMMODULE\n"
               "\\Windows\\Fonts\\tahoma.ttf\n"
               "\\Windows\\Fonts\tROMSTATICREF\n");  // a folder's ROM bits do not matter
  Blocks blocks = Split(List(L"\\Windows"));
  EXPECT_EQ(Sorted({Line("Windows/coredll.dll", " R ", "3", "2C17398C", "coredll.dll"),
                    Line("Windows/notes.txt", "   ", "3", "2C17398C", "notes.txt")}),
            blocks["[\\Windows]"]);
  EXPECT_EQ(std::vector<std::string>{Line("Windows/Fonts/tahoma.ttf", " R ", "9", "89A1897F",
                                          "tahoma.ttf")},
            blocks["[\\Windows\\Fonts]"]);

  Settings.fileInRom = 0;  // ROM files left out; a folder of them keeps its header
  blocks = Split(List(L"\\Windows"));
  EXPECT_EQ(
      std::vector<std::string>{Line("Windows/notes.txt", "   ", "3", "2C17398C", "notes.txt")},
      blocks["[\\Windows]"]);
  ASSERT_EQ(1u, blocks.count("[\\Windows\\Fonts]"));
  EXPECT_TRUE(blocks["[\\Windows\\Fonts]"].empty());
}

TEST_F(Listing, ExcludedFoldersAreNotEnteredAndFilesAreTestedByName) {
  device.write("root/Temp/a.txt", "x");
  device.write("root/Templates/b.txt", "x");
  device.write("root/Data/TEMP.TXT", "x");
  device.write("root/Data/old.tvk", "x");
  device.write("root/Data/old.TVK.bak", "x");
  device.write("root/Data/Cache/c.txt", "x");
  device.write("root/Data/Snaps.tvk/inner.txt", "x");
  ExcludeAdd(L"\\TEMP");
  ExcludeAdd(L"\\cache");  // typed in lower case: still excludes
  std::string text = List(L"");
  Blocks blocks = Split(text);
  EXPECT_EQ(0u, blocks.count("[\\Temp]")) << text;
  EXPECT_EQ(0u, blocks.count("[\\Templates]"));
  EXPECT_EQ(0u, blocks.count("[\\Data\\Cache]"));
  EXPECT_EQ(0u, blocks.count("[\\Data\\Snaps.tvk]"));
  EXPECT_EQ(std::vector<std::string>{Line("Data/TEMP.TXT", "   ", "1", "C6BCF05F", "TEMP.TXT")},
            blocks["[\\Data]"]);
  EXPECT_EQ("", List(L"\\Temp"));  // an excluded start writes nothing at all
}

TEST_F(Listing, SizesAreTheTrueUnsignedSize) {
  Settings.crc32 = 0;  // the sparse files are not read
  device.write("root/Big/three.bin", "");
  ASSERT_EQ(0, ::truncate(device.host("Big/three.bin").c_str(), 3000000000LL));
  device.write("root/Big/five.bin", "");
  ASSERT_EQ(0, ::truncate(device.host("Big/five.bin").c_str(), 5368709121LL));
  Blocks blocks = Split(List(L"\\Big"));
  EXPECT_EQ(Sorted({Line("Big/five.bin", "   ", "5368709121", "", "five.bin"),
                    Line("Big/three.bin", "   ", "3000000000", "", "three.bin")}),
            blocks["[\\Big]"]);
}

TEST_F(Listing, AwkwardEntriesNeverStopOrHangTheWalk) {
  device.write("root/Odd/Loop/inner.txt", "abc");
  ASSERT_EQ(0, ::symlink("..", device.host("Odd/Loop/up").c_str()));
  ASSERT_EQ(0, ::mkfifo(device.host("Odd/fifo").c_str(), 0644));
  device.write("root/Odd/locked.txt", "abc");
  ::chmod(device.host("Odd/locked.txt").c_str(), 0);
  device.write("root/Odd/Shut/hidden.txt", "abc");
  ::chmod(device.host("Odd/Shut").c_str(), 0);
  device.write("root/Odd/\xD0\xB6\xD1\x83\xD0\xBA.txt", "abc");  // outside code page 1252
  device.write("root/Odd/bad\xFF.txt", "abc");                   // not UTF-8
  device.write("root/Odd/back\\slash", "abc");                   // names a device name cannot hold
  device.write("root/Odd/cr\rlf\n", "abc");
  device.write("root/Odd/dir\\bs/in.txt", "abc");
  device.write("root/Odd/smile\xF0\x9F\x98\x80.txt", "abc");

  std::string text = List(L"\\Odd");
  ::chmod(device.host("Odd/Shut").c_str(), 0755);
  Blocks blocks = Split(text);
  // The link back up is listed as an entry of size 0 and never entered.
  EXPECT_EQ(Sorted({Line("Odd/Loop/inner.txt", "   ", "3", "2C17398C", "inner.txt"),
                    Line("Odd/Loop/up", "   ", "0", "00000000", "up")}),
            blocks["[\\Odd\\Loop]"]);
  std::vector<std::string> odd = {
      Line("Odd/fifo", "   ", "0", "00000000", "fifo"),
      Line("Odd/locked.txt", "   ", "3", root ? "2C17398C" : "00000000", "locked.txt"),
      // Checksummed by the wide name, shown in the code page.
      Line("Odd/\xD0\xB6\xD1\x83\xD0\xBA.txt", "   ", "3", "2C17398C", "???.txt"),
      Line("Odd/bad\xFF.txt", "   ", "3", "2C17398C", "bad?.txt"),
      // One line each, checksummed through the name mapped back.
      Line("Odd/back\\slash", "   ", "3", "2C17398C", "back?slash"),
      Line("Odd/cr\rlf\n", "   ", "3", "2C17398C", "cr?lf?"),
      // One character, two UTF-16 units, two '?'.
      Line("Odd/smile\xF0\x9F\x98\x80.txt", "   ", "3", "2C17398C", "smile??.txt")};
  std::sort(odd.begin(), odd.end());
  EXPECT_EQ(odd, blocks["[\\Odd]"]);
  ASSERT_EQ(1u, blocks.count("[\\Odd\\Shut]"));
  if (!root) {
    EXPECT_TRUE(blocks["[\\Odd\\Shut]"].empty());  // header only
  }
  EXPECT_EQ(Sorted({Line("Odd/dir\\bs/in.txt", "   ", "3", "2C17398C", "in.txt")}),
            blocks["[\\Odd\\dir?bs]"]);
  EXPECT_EQ(4u, blocks.size()) << text;
}

TEST_F(Listing, LinksThatFanOutAreListedNotEntered) {
  // Each folder links twice to the next: followed, 2^19 folders to walk.
  const int levels = 19;
  for (int i = 0; i < levels; ++i) {
    std::string folder = "Fan/L" + std::to_string(i);
    device.mkdir("root/" + folder);
    std::string next = "../L" + std::to_string(i + 1);
    if (i + 1 == levels) next = "../../Fan";  // and the last one back up the tree
    ASSERT_EQ(0, ::symlink(next.c_str(), device.host(folder + "/a").c_str()));
    ASSERT_EQ(0, ::symlink(next.c_str(), device.host(folder + "/b").c_str()));
  }
  std::string text = List(L"\\Fan");
  Blocks blocks = Split(text);
  EXPECT_EQ(static_cast<size_t>(levels + 1), blocks.size());
  std::string last = "Fan/L" + std::to_string(levels - 1);
  EXPECT_EQ(Sorted({Line(last + "/a", "   ", "0", "00000000", "a"),
                    Line(last + "/b", "   ", "0", "00000000", "b")}),
            blocks["[\\Fan\\L" + std::to_string(levels - 1) + "]"]);
}

TEST_F(Listing, DeepTreesStopAtThePathLimit) {
  // Folders nested as deep as the host allows, far past what a device path
  // can name: the walk lists what fits under the limit and stops there.
  std::string relative = "root/Deep";
  for (int i = 0; i < 200; ++i) relative += "/d";
  device.write(relative + "/f.txt", "x");
  Settings.crc32 = 0;
  std::vector<std::string> headers = Headers(List(L"\\Deep"));
  // "\Deep" and "\d" per level; a folder's search pattern adds "\*.*".
  size_t deepest = (MAX_PATH - 1 - 4 - 5) / 2;
  ASSERT_EQ(deepest + 2, headers.size());  // the last one is named but cannot be searched
  EXPECT_EQ(5 + 2 * (deepest + 1) + 2, headers.back().size());
}

}  // namespace
