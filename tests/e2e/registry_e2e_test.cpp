// Runs of the built program on devices with a registry.reg: the registry
// section of the snapshot, exactly.
#include <gtest/gtest.h>

#include <string>

#include "reg_file.h"
#include "test_device.h"

using testing_device::RunTovik;
using testing_device::TestDevice;
using testing_device::Utf16RegFile;

namespace {

// Only the registry section: the snapshot up to the file system listing
// (its root header "[]") or the databases header, whichever comes first.
std::string RegistrySection(const std::string &snapshot) {
  size_t end = snapshot.size();
  size_t files = snapshot.find("\r\n[]\r\n");
  if (files != std::string::npos) end = std::min(end, files + 2);
  size_t databases = snapshot.find("\r\n[Databases]\r\n");
  if (databases != std::string::npos) end = std::min(end, databases);
  return snapshot.substr(0, end);
}

// Settings that switch off everything but the registry, so the run needs
// no dialog and writes nothing else where the settings are honoured.
void RegistryOnly(const TestDevice &device) {
  device.write("root/My Documents/tovik.cfg",
               "Registry 1\r\nFiles 0\r\nFileInROM 0\r\ncrc32 0\r\nDatabases 0\r\nSetup 0\r\n"
               "Exclude .TVK\r\nDefault_path \r\n");
}

TEST(RegistryRun, SnapshotHoldsTheThreeRootsInOrder) {
  TestDevice device;
  RegistryOnly(device);
  device.write("device.ini", "codepage=1251\n");
  device.write("registry.reg",
               Utf16RegFile(u"Windows Registry Editor Version 5.00\r\n"
                            u"\r\n"
                            u"[HKEY_LOCAL_MACHINE\\init]\r\n"
                            u"\"Launch10\"=\"shell32.exe\"\r\n"
                            u"\"Depend30\"=hex:14,00\r\n"
                            u"\r\n"
                            u"[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial]\r\n"
                            u"\"Index\"=dword:00000001\r\n"
                            u"\"Path\"=hex(2):25,00,54,00,00,00\r\n"
                            u"\r\n"
                            u"[HKEY_CURRENT_USER\\ControlPanel\\Owner]\r\n"
                            u"\"Name\"=\"\u0418\u0432\u0430\u043D \\\"\u0418.\\\"\"\r\n"
                            u"@=\"\"\r\n"
                            u"\r\n"
                            u"[HKEY_USERS\\Ignored]\r\n"
                            u"\r\n"
                            u"[HKEY_CLASSES_ROOT\\.txt]\r\n"
                            u"@=\"txtfile\"\r\n"
                            u"[HKEY_CLASSES_ROOT\\txtfile\\Shell\\Open\\Command]\r\n"
                            u"@=\"\\\"\\\\Windows\\\\pword.exe\\\" %1\"\r\n"));
  testing_device::RunResult run = RunTovik(device.folder(), {"\\snap.tvk"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("", run.err);
  EXPECT_EQ(
      "\r\n[HKEY_CURRENT_USER\\]\r\n"
      "\r\n[HKEY_CURRENT_USER\\ControlPanel]\r\n"
      "\r\n[HKEY_CURRENT_USER\\ControlPanel\\Owner]\r\n"
      "\"Name\"=\"\xC8\xE2\xE0\xED \\\"\xC8.\\\"\"\r\n"
      "\"\"=\"\"\r\n"
      "\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\init]\r\n"
      "\"Launch10\"=\"shell32.exe\"\r\n"
      "\"Depend30\"=hex(3):14,00\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\Drivers]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial]\r\n"
      "\"Index\"=dword:00000001\r\n"
      "\"Path\"=hex(2):25,00,54,00,00,00\r\n"
      "\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\]\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\txtfile]\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\txtfile\\Shell]\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\txtfile\\Shell\\Open]\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\txtfile\\Shell\\Open\\Command]\r\n"
      "\"\"=\"\\\"\\\\Windows\\\\pword.exe\\\" %1\"\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\.txt]\r\n"
      "\"\"=\"txtfile\"\r\n"
      "\r\n",
      RegistrySection(device.read("root/snap.tvk")));
}

TEST(RegistryRun, MalformedLinesAreReportedAndTheSnapshotStillTaken) {
  TestDevice device;
  RegistryOnly(device);
  device.write("registry.reg",
               "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:zz\r\n\"y\"=dword:2\r\n");
  testing_device::RunResult run = RunTovik(device.folder(), {"\\snap.tvk"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("registry.reg:3: dword: needs 1 to 8 hex digits\n", run.err);
  EXPECT_EQ(
      "\r\n[HKEY_CURRENT_USER\\]\r\n\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\]\r\n"
      "\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"y\"=dword:00000002\r\n\r\n"
      "\r\n[HKEY_CLASSES_ROOT\\]\r\n\r\n",
      RegistrySection(device.read("root/snap.tvk")));
}

TEST(RegistryRun, SampleDeviceRegistryReadsCleanly) {
  TestDevice device;
  RegistryOnly(device);
  device.write("registry.reg", testing_device::ReadHostFile(std::string(TOVIK_SOURCE_DIR) +
                                                            "/samples/device/registry.reg"));
  testing_device::RunResult run = RunTovik(device.folder(), {"\\snap.tvk"});
  ASSERT_EQ(0, run.exitCode) << run.err;
  EXPECT_EQ("", run.err);
  std::string section = RegistrySection(device.read("root/snap.tvk"));
  EXPECT_NE(std::string::npos,
            section.find("\r\n[HKEY_LOCAL_MACHINE\\init]\r\n\"Launch10\"=\"shell32.exe\"\r\n"));
  EXPECT_NE(std::string::npos,
            section.find("\"Greeting \\\"quoted\\\" \\\\path\\\\\"=\"She said \\\"hi\\\" at "
                         "C:\\\\Temp\\\\\"\r\n"));
  size_t headers = 0;
  for (size_t at = section.find("\r\n[HKEY_"); at != std::string::npos;
       at = section.find("\r\n[HKEY_", at + 1))
    ++headers;
  EXPECT_GT(headers, 300u);
}

}  // namespace
