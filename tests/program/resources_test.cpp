// The program's dialog templates, read back through the resource calls and
// built into windows, against the layout the program relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_template.h"
#include "platform.h"
#include "resource.h"
#include "tovik_version.h"

namespace {

struct Expected {
  int id;
  const char *cls;  // "Button", "Edit", "Static", "ListBox"
  std::wstring text;
  short x, y, cx, cy;
  DWORD style;  // without WS_CHILD | WS_VISIBLE
};

// Reads the templates' controls straight from the binary layout.
struct Control {
  DWORD style;
  short x, y, cx, cy;
  int id;
  WORD classOrdinal;
  std::wstring className;
  std::wstring text;
  WORD textOrdinal;
};

std::vector<Control> Controls(LPCDLGTEMPLATEW t, std::wstring *caption, std::wstring *font,
                              WORD *points) {
  const WORD *p = reinterpret_cast<const WORD *>(reinterpret_cast<const char *>(t) + 18);
  auto field = [&p](std::wstring *text, WORD *ordinal) {
    if (*p == 0xFFFF) {
      if (ordinal) *ordinal = p[1];
      p += 2;
      return;
    }
    while (*p) {
      if (text) text->push_back(static_cast<WCHAR>(*p));
      ++p;
    }
    ++p;
  };
  field(nullptr, nullptr);  // menu
  field(nullptr, nullptr);  // class
  field(caption, nullptr);
  *points = *p++;
  field(font, nullptr);
  std::vector<Control> controls;
  for (int i = 0; i < t->cdit; ++i) {
    auto offset = reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(t);
    p += (4 - offset % 4) % 4 / 2;
    DLGITEMTEMPLATE item;
    std::memcpy(&item, p, sizeof item);
    p += sizeof item / 2;
    Control c{item.style, item.x, item.y, item.cx, item.cy, static_cast<short>(item.id),
              0,          L"",    L"",    0};
    field(&c.className, &c.classOrdinal);
    field(&c.text, &c.textOrdinal);
    p += 1 + *p / 2;
    controls.push_back(c);
  }
  return controls;
}

// A control's class: the predefined ordinal, or its name (resource
// compilers write either).
std::string ClassOf(const Control &c) {
  switch (c.classOrdinal) {
    case 0x80:
      return "button";
    case 0x81:
      return "edit";
    case 0x82:
      return "static";
    case 0x83:
      return "listbox";
  }
  std::string name;
  for (WCHAR ch : c.className) name += static_cast<char>(std::tolower(static_cast<int>(ch)));
  return name;
}

std::string Lower(std::string text) {
  for (char &ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

void Check(int templateId, DWORD style, const std::wstring &caption, short cx, short cy,
           const std::vector<Expected> &expected) {
  LPCDLGTEMPLATEW t = LoadDialogTemplate(templateId);
  ASSERT_NE(nullptr, t);
  EXPECT_EQ(style | DS_SETFONT, t->style);
  EXPECT_EQ(cx, t->cx);
  EXPECT_EQ(cy, t->cy);
  std::wstring gotCaption, font;
  WORD points = 0;
  std::vector<Control> controls = Controls(t, &gotCaption, &font, &points);
  EXPECT_EQ(caption, gotCaption);
  EXPECT_EQ(L"System", font);
  EXPECT_EQ(8, points);
  ASSERT_EQ(expected.size(), controls.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const Expected &e = expected[i];
    const Control &c = controls[i];
    EXPECT_EQ(e.id, c.id);
    EXPECT_EQ(Lower(e.cls), ClassOf(c));
    EXPECT_EQ(e.style | WS_CHILD | WS_VISIBLE, c.style);
    EXPECT_EQ(e.x, c.x);
    EXPECT_EQ(e.y, c.y);
    EXPECT_EQ(e.cx, c.cx);
    EXPECT_EQ(e.cy, c.cy);
    if ((e.style & SS_TYPEMASK) == SS_ICON && std::string(e.cls) == "Static")
      EXPECT_EQ(IDI_APP, c.textOrdinal);
    else
      EXPECT_EQ(e.text, c.text);
  }
}

TEST(Resources, ProgressWindowTemplate) {
  Check(IDD_PROGRESS, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER, L"Saving system state...",
        126, 103,
        {{IDC_ITEM, "Static", L"", 2, 34, 122, 33, SS_LEFT | WS_BORDER},
         {IDC_OUTPUT, "Static", L"", 35, 0, 89, 22, SS_LEFT},
         {IDC_STATIC, "Static",
          L"tovik version " TOVIK_VERSION "\nregistry, files\nand databases\nin one snapshot", 51,
          68, 67, 34, SS_CENTER},
         {IDC_STATIC, "Static", L"", 17, 73, 21, 20, SS_ICON},
         {IDC_STATIC, "Static", L"Output:", 2, 0, 26, 11, SS_LEFT},
         {IDC_SECTION, "Static", L"", 2, 24, 122, 8, SS_LEFT}});
}

TEST(Resources, ConfigurationDialogTemplate) {
  const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
  const DWORD edit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
  Check(IDD_CONFIG, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, L"tovik configuration", 127,
        142,
        {{IDOK, "Button", L"Save and run", 7, 121, 52, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
         {IDCANCEL, "Button", L"Cancel", 89, 121, 31, 14, BS_PUSHBUTTON | WS_TABSTOP},
         {IDC_SAVE, "Button", L"Save", 58, 121, 31, 14, BS_PUSHBUTTON | WS_TABSTOP},
         {IDC_REGISTRY, "Button", L"Save registry state", 7, 1, 79, 9, check},
         {IDC_DATABASES, "Button", L"Save databases state", 7, 12, 93, 10, check},
         {IDC_FILES, "Button", L"Save file system state", 7, 24, 99, 9, check},
         {IDC_FILEINROM, "Button", L"file in ROM", 65, 33, 48, 9, check},
         {IDC_CRC32, "Button", L"CRC32", 19, 33, 39, 9, check},
         {IDC_DEFAULT_PATH, "Edit", L"", 53, 47, 67, 12, edit},
         {IDC_STATIC, "Static", L"Default path:", 7, 48, 43, 10, SS_LEFT},
         {IDC_EXCLUDE_EDIT, "Edit", L"", 7, 61, 58, 12, edit},
         {IDC_EXCLUDE_ADD, "Button", L"add exclude string", 69, 61, 51, 22,
          BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP},
         {IDC_EXCLUDE_LIST, "ListBox", L"", 7, 75, 58, 32,
          LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_VSCROLL | WS_TABSTOP},
         {IDC_EXCLUDE_DELETE, "Button", L"delete", 69, 85, 51, 11,
          BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP},
         {IDC_SETUP, "Button", L"Show this dialog later", 7, 109, 88, 9, check}});
}

TEST(Resources, IconHasTwoImages) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), RT_GROUP_ICON);
  ASSERT_NE(nullptr, group);
  const BYTE *dir = static_cast<const BYTE *>(LockResource(LoadResource(module, group)));
  ASSERT_EQ(2, dir[4] | (dir[5] << 8));
  EXPECT_EQ(32, dir[6]);       // first image 32 x 32
  EXPECT_EQ(16, dir[6 + 14]);  // second 16 x 16
  EXPECT_EQ(16, dir[8]);       // 16 colours
  EXPECT_EQ(nullptr, FindResourceW(module, MAKEINTRESOURCEW(999), RT_DIALOG));
}

TEST(Resources, ProgressWindowBuiltFromItsTemplate) {
  HWND window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                           LoadDialogTemplate(IDD_PROGRESS), nullptr, nullptr, 0);
  ASSERT_NE(nullptr, window);
  ASSERT_NE(nullptr, GetDlgItem(window, IDC_ITEM));
  EXPECT_TRUE(SetDlgItemTextW(window, IDC_OUTPUT, L"\\071226101917.tvk"));
  WCHAR text[64];
  EXPECT_EQ(17u, GetDlgItemTextW(window, IDC_OUTPUT, text, 64));
  EXPECT_STREQ(L"\\071226101917.tvk", text);
  EXPECT_EQ(4u, GetDlgItemTextW(window, IDC_OUTPUT, text, 5));  // cut to the buffer
  EXPECT_STREQ(L"\\071", text);
  EXPECT_EQ(nullptr, GetDlgItem(window, 4242));
  EXPECT_TRUE(UpdateWindow(window));
  EXPECT_EQ(0, SendMessageW(window, WM_CLOSE, 0, 0));
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
