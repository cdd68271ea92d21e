// On Windows (under Wine with a virtual display): the real properties and archive dialogs and the
// file dialogs. A helper thread finds each, reads every control back, photographs it into
// build/<preset>/screenshots/, clicks as a person would and checks what the library answers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "ui/user_interface.h"
#include "ui/win32_ui.h"

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>

#include <fstream>
#endif

namespace miradel::ui {
namespace {

#ifdef _WIN32
std::string ProgramDir() {
  char path[MAX_PATH] = {};
  std::string s(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return s.substr(0, s.find_last_of('\\') + 1);
}

// "id Class "text" kind": the kind from the style bits that the templates set.
std::string Describe(HWND c) {
  char name[32] = {}, text[256] = {};
  GetClassNameA(c, name, sizeof name);
  GetWindowTextA(c, text, sizeof text);
  const LONG style = GetWindowLongA(c, GWL_STYLE);
  std::string d = std::to_string(static_cast<short>(GetDlgCtrlID(c))) + " " + name + " \"" + text + "\"";
  if (std::string(name) == "Button") {
    const char* kinds[] = {" push", " default", "", " check", "", "", "", " group"};
    d += kinds[style & 7];
  } else if (std::string(name) == "Edit") {
    if (style & ES_READONLY) d += " readonly";
    if (style & ES_UPPERCASE) d += " upper";
    if (style & WS_HSCROLL) d += " hscroll";
  }
  return d;
}

// The window as it is on the screen, as a 24-bit BMP.
bool Photograph(HWND window, const std::string& file) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top, row = (w * 3 + 3) & ~3;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info = {sizeof info, w, h, 1, 24, BI_RGB};
  std::vector<char> pixels(static_cast<std::size_t>(row) * h);
  const int got = GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
  BITMAPFILEHEADER head = {0x4D42, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<char*>(&head), sizeof head).write(reinterpret_cast<char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return got == h && out.good();
}

// Runs show() on this thread while a helper waits for the dialog of that caption (up to 60 s),
// reads its controls (and photographs it as shot, unless empty), and then runs act(dialog). Without
// a dialog the helper ends the thread's modal loop, so that the test fails rather than hangs.
std::vector<std::string> Operate(const char* caption, const std::string& shot, const std::function<void()>& show,
                                 const std::function<void(HWND)>& act) {
  std::vector<std::string> seen;
  const DWORD thread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 3000 && !(dialog = FindWindowA(MAKEINTATOM(32770), caption)); ++i) Sleep(20);
    if (!dialog) return (void)PostThreadMessageA(thread, WM_QUIT, 0, 0);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) seen.push_back(Describe(c));
    if (!shot.empty()) {
      CreateDirectoryA((ProgramDir() + "..\\screenshots").c_str(), nullptr);
      EXPECT_TRUE(Photograph(dialog, ProgramDir() + "..\\screenshots\\" + shot));
    }
    act(dialog);
  });
  show();
  helper.join();
  return seen;
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
std::string Ticks(HWND dialog, std::vector<int> ids) {
  std::string s;
  for (int id : ids) s += IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 'x' : '-';
  return s;
}

// What the stand-in help library was asked last: "window file command topic", and its count.
std::string LastHelp(HWND expected_window) {
  using LastCall = int (*)(HWND*, char*, int*, int*);
  HMODULE help = GetModuleHandleA("hx_help");
  auto last = help ? reinterpret_cast<LastCall>(reinterpret_cast<void*>(GetProcAddress(help, "hx_LastCall"))) : nullptr;
  if (!last) return "hx_help was never loaded";
  HWND window = nullptr;
  char file[MAX_PATH] = {};
  int command = 0, topic = 0;
  const int calls = last(&window, file, &command, &topic);
  return std::string(window == expected_window ? "dialog " : "other window ") + file + " " + std::to_string(command) +
         " " + std::to_string(topic) + " #" + std::to_string(calls);
}

struct Owner {
  HWND hwnd = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 400, 400, 300, nullptr,
                              nullptr, nullptr, nullptr);
  ~Owner() { DestroyWindow(hwnd); }
};
#endif  // _WIN32

TEST(Win32DialogsTest, ThePropertiesDialogShowsItsFieldsAndOnlyCloseReadsTheBoxBack) {
#ifndef _WIN32
  GTEST_SKIP() << "the real dialogs are Windows only";
#else
  Owner owner;
  if (!owner.hwnd) GTEST_SKIP() << "no display to show windows on";
  FileProperties p{"PUMP.CMB", "JANE", "7", "Today, December 05, 2026, 4:10:31 AM", "Friday, December 04, 2026, 9:05:03 PM",
                   "", "C:\\models\\a folder with a long name\\and another\\and one more level\\pump", "1.50 KB (1536 bytes)"};
  const std::string help = "dialog " + ProgramDir() + "quorvane.chm 1 300059";
  // How it ends: Close after clicking the box, the close box, Escape; each with the box coming in on and off.
  enum End { kClose, kCloseBox, kEscape };
  struct Case { End end; bool in, out; };
  const Case cases[] = {{kClose, true, false}, {kClose, false, true}, {kCloseBox, true, true}, {kEscape, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.end) + (c.in ? " ticked" : " clear"));
    p.always_show = c.in;
    bool result = !c.out;
    std::string box, centred, helped, f1;
    const auto seen = Operate("Model File Properties", c.end == kClose && c.in ? "file_properties.bmp" : "", [&] {
      result = WindowsUi().FilePropertiesDialog(reinterpret_cast<std::intptr_t>(owner.hwnd), p);
    }, [&](HWND d) {
      RECT own, r;
      GetWindowRect(owner.hwnd, &own);
      GetWindowRect(d, &r);
      RECT size = {0, 0, 289, 216}, client;
      MapDialogRect(d, &size);
      GetClientRect(d, &client);
      LOGFONTA font = {};
      GetObjectA(reinterpret_cast<HFONT>(SendMessageA(d, WM_GETFONT, 0, 0)), sizeof font, &font);
      centred = std::to_string(GetWindow(d, GW_OWNER) == owner.hwnd) +
                std::to_string(std::abs(r.left + r.right - own.left - own.right) <= 1) +
                std::to_string(size.right == client.right && size.bottom == client.bottom) + font.lfFaceName;
      box = Ticks(d, {2008});
      Click(d, 2008);
      Click(d, 2009);
      helped = LastHelp(d);
      HELPINFO info = {sizeof info, HELPINFO_WINDOW, 2008, GetDlgItem(d, 2008), 0, {}};
      SendMessageA(d, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
      f1 = LastHelp(d);
      if (c.end == kClose) Click(d, IDOK);
      if (c.end == kCloseBox) PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
      if (c.end == kEscape) PostMessageA(GetDlgItem(d, 2000), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(c.out, result);
    EXPECT_EQ(std::string(c.in ? "x" : "-") + "|111MS Sans Serif", box + "|" + centred);
    EXPECT_EQ(help, helped.substr(0, help.size()));
    EXPECT_EQ(help, f1.substr(0, help.size()));
    EXPECT_NE(helped, f1);  // counted once more
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "-1 Button \"General\" group", "-1 Static \"Model Name:\"", "2000 Edit \"PUMP.CMB\" readonly upper",
                        "-1 Static \"Last Saved By:\"", "2001 Edit \"JANE\" readonly upper",
                        "-1 Static \"Model Revision:\"", "2007 Edit \"7\" readonly upper",
                        "-1 Button \"Time Information\" group", "-1 Static \"Created:\"", "2002 Edit \"" + p.created + "\" readonly",
                        "-1 Static \"Modified:\"", "2003 Edit \"" + p.modified + "\" readonly", "-1 Static \"Accessed:\"",
                        "2004 Edit \"\" readonly", "-1 Button \"Disk Information\" group", "-1 Static \"Location:\"",
                        "2005 Edit \"" + p.location + "\" readonly hscroll", "-1 Static \"Size:\"",
                        "2006 Edit \"" + p.size + "\" readonly",
                        "2008 Button \"Always &show the dialog while opening the model\" check",
                        "1 Button \"&Close\" default", "2009 Button \"&Help\" push"}));
  }
#endif
}

TEST(Win32DialogsTest, TheArchiveDialogFollowsSelectAllAndOnlyOkGivesTheTicks) {
#ifndef _WIN32
  GTEST_SKIP() << "the real dialogs are Windows only";
#else
  if (!Owner().hwnd) GTEST_SKIP() << "no display to show windows on";
  const std::vector<int> boxes = {2017, 2012, 2014, 2016, 2015, 2018};  // Select All, then in the order of types
  for (int end : {IDOK, IDCANCEL, 0}) {  // 0: the close box
    SCOPED_TRACE(end);
    bool types[5] = {true, true, true, true, true};
    bool result = end != IDOK;
    std::vector<std::string> steps;
    const auto seen = Operate("Archive Model", end == IDOK ? "archive_model.bmp" : "", [&] {
      result = WindowsUi().ArchiveDialog(0, types);
    }, [&](HWND d) {
      steps.push_back(Ticks(d, boxes));
      Click(d, 2017);
      steps.push_back(Ticks(d, boxes));
      for (std::size_t i = 1; i < boxes.size(); ++i) Click(d, boxes[i]);
      steps.push_back(Ticks(d, boxes));
      Click(d, 2017);
      Click(d, 2016);
      steps.push_back(Ticks(d, boxes));
      Click(d, 9);
      steps.push_back(LastHelp(d));
      if (end) Click(d, end);
      else PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    const std::string help = "dialog " + ProgramDir() + "quorvane.chm 1 16703";
    ASSERT_EQ(5u, steps.size());
    EXPECT_EQ(help, steps[4].substr(0, help.size()));
    steps.pop_back();
    EXPECT_EQ(steps, (std::vector<std::string>{"xxxxxx", "------", "-xxxxx", "-xx-xx"}));
    EXPECT_EQ(end == IDOK, result);
    EXPECT_EQ(end == IDOK ? "11011" : "11111", std::to_string(types[0]) + std::to_string(types[1]) +
                                                   std::to_string(types[2]) + std::to_string(types[3]) +
                                                   std::to_string(types[4]));
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "1 Button \"OK\" default", "2 Button \"Cancel\" push",
                        "-1 Button \"Select file types to archive\" group", "2017 Button \"Select All\" check",
                        "2012 Button \"Input\" check", "2014 Button \"Result\" check", "2016 Button \"Reports\" check",
                        "2015 Button \"Unit\" check", "2018 Button \"Libraries\" check", "9 Button \"Help\" push"}));
  }
#endif
}

TEST(Win32DialogsTest, TheFileDialogsStartWhereAskedAndGiveThePathChosen) {
#ifndef _WIN32
  GTEST_SKIP() << "the real dialogs are Windows only";
#else
  if (!Owner().hwnd) GTEST_SKIP() << "no display to show windows on";
  test::TempDir dir;
  dir.Write("m.QVC", "zip");
  // The dialogs make the folder they end in current (the exports put theirs back): so do we, before
  // the folder is removed.
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  struct Restore { const char* dir; ~Restore() { SetCurrentDirectoryA(dir); } } restore{current};
  struct Case { bool save; const char* name; int button; std::string path; };
  const Case cases[] = {{true, "m_Archive", IDOK, dir / "m_Archive.QVC"}, {false, "m.QVC", IDOK, dir / "m.QVC"},
                        {false, "m.QVC", IDCANCEL, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.button));
    FileDialogRequest request{0, c.save, "Quorvane Compressed Files (*.QVC)|*.QVC||", "QVC", c.name, dir.path(),
                              OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT};
    std::string path = "untouched", filter;
    bool chosen = false;
    Operate(nullptr, "", [&] { chosen = WindowsUi().FileDialog(request, &path); }, [&](HWND d) {
      char text[128] = {};
      GetDlgItemTextA(d, 0x470, text, sizeof text);  // the file type list (cmb1)
      filter = text;
      PostMessageA(d, WM_COMMAND, c.button, 0);
    });
    EXPECT_EQ("Quorvane Compressed Files (*.QVC)", filter);
    EXPECT_EQ(!c.path.empty(), chosen);
    // Wine adds the default extension in lower case.
    const std::string expected = c.path.empty() ? "untouched" : c.path;
    EXPECT_EQ(0, _stricmp(expected.c_str(), path.c_str())) << path;
  }
#endif
}

}  // namespace
}  // namespace miradel::ui
