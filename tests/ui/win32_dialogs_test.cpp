// On Windows (under Wine with a virtual display): the real properties and archive dialogs. A helper
// thread finds each, reads every control back, photographs it into
// build/<preset>/screenshots/, clicks as a person would and checks what the library answers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/user_interface.h"
#include "ui/win32_ui.h"

#ifdef _WIN32
#include <windows.h>

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
  static const char* const kButtons[] = {" push", " default", "", " check", "", "", "", " group"};
  if (std::string(name) == "Button") return d + kButtons[style & 7];
  return d + (style & ES_READONLY ? " readonly" : "") + (style & ES_UPPERCASE ? " upper" : "") +
         (style & WS_HSCROLL ? " hscroll" : "");
}

// The window as it is on the screen, as a 24-bit BMP.
bool Photograph(HWND window, const std::string& file) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
  RECT r;
  GetWindowRect(window, &r);
  BITMAPINFOHEADER info = {sizeof info, r.right - r.left, r.bottom - r.top, 1, 24, BI_RGB};
  const DWORD bytes = ((info.biWidth * 3 + 3) & ~3) * info.biHeight, offset = sizeof(BITMAPFILEHEADER) + sizeof info;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  DeleteObject(SelectObject(memory, bitmap));
  const bool got = BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, r.left, r.top, SRCCOPY);
  BITMAPFILEHEADER head = {0x4D42, offset + bytes, 0, 0, offset};
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<char*>(&head), sizeof head).write(reinterpret_cast<char*>(&info), sizeof info);
  out.write(static_cast<char*>(pixels), bytes);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return DeleteObject(bitmap) && got && out.good();
}

// Runs show() on this thread while a helper waits for the dialog of that caption (up to 60 s),
// reads its controls (and photographs it as shot, unless empty), and then runs act(dialog). Without
// a dialog the helper ends the thread's modal loop, so that the test fails rather than hangs.
std::vector<std::string> Operate(const char* caption, const std::string& shot, const std::function<void()>& show,
                                 const std::function<void(HWND)>& act) {
  std::vector<std::string> seen;
  const DWORD thread = GetCurrentThreadId();
  CreateDirectoryA((ProgramDir() + "..\\screenshots").c_str(), nullptr);
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 3000 && !(dialog = FindWindowA(MAKEINTATOM(32770), caption)); ++i) Sleep(20);
    if (!dialog) return (void)PostThreadMessageA(thread, WM_QUIT, 0, 0);
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, nullptr);  // it is up and handling messages
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) seen.push_back(Describe(c));
    if (!shot.empty()) EXPECT_TRUE(Photograph(dialog, ProgramDir() + "..\\screenshots\\" + shot));
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

struct Owner {
  HWND hwnd = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 400, 400, 300, 0, 0, 0, 0);
  ~Owner() { DestroyWindow(hwnd); }
};
#endif  // _WIN32

TEST(Win32DialogsTest, BothDialogsShowTheirTemplatesAndFollowTheirModelsAndEndAsTheUserDid) {
#ifndef _WIN32
  GTEST_SKIP() << "the real dialogs are Windows only";
#else
  Owner owner;
  if (!owner.hwnd) GTEST_SKIP() << "no display to show windows on";
  FileProperties p{"PUMP.CMB", "JANE", "7", "Today, December 05, 2026, 4:10:31 AM", "Friday, December 04, 2026, 9:05:03 PM",
                   "", "C:\\models\\a folder with a long name\\and another\\and one more level\\pump", "1.50 KB (1536 bytes)"};
  const std::string t = "-1 Static \"", ro = "\" readonly", up = ro + " upper";
  const std::vector<std::string> properties = {
      "-1 Button \"General\" group", t + "Model Name:\"", "2000 Edit \"PUMP.CMB" + up, t + "Last Saved By:\"",
      "2001 Edit \"JANE" + up, t + "Model Revision:\"", "2007 Edit \"7" + up, "-1 Button \"Time Information\" group",
      t + "Created:\"", "2002 Edit \"" + p.created + ro, t + "Modified:\"", "2003 Edit \"" + p.modified + ro,
      t + "Accessed:\"", "2004 Edit \"" + ro, "-1 Button \"Disk Information\" group", t + "Location:\"",
      "2005 Edit \"" + p.location + ro + " hscroll", t + "Size:\"", "2006 Edit \"" + p.size + ro,
      "2008 Button \"Always &show the dialog while opening the model\" check", "1 Button \"&Close\" default",
      "2009 Button \"&Help\" push"};
  // Properties: the box is clicked, the help button pressed, and the dialog ends by
  // Close (IDOK), the close box (0) or Escape (IDCANCEL). Only Close reads the box back.
  struct Case { int end; bool in, out; };
  for (const Case& c : {Case{IDOK, true, false}, {IDOK, false, true}, {0, true, true}, {IDCANCEL, false, false}}) {
    SCOPED_TRACE(std::to_string(c.end) + (c.in ? " ticked" : " clear"));
    p.always_show = c.in;
    bool result = !c.out;
    std::vector<std::string> steps;
    const auto seen = Operate("Model File Properties", c.end == IDOK && c.in ? "file_properties.bmp" : "", [&] {
      result = WindowsUi().FilePropertiesDialog(reinterpret_cast<std::intptr_t>(owner.hwnd), p);
    }, [&](HWND d) {
      LOGFONTA font = {};  // the template's
      GetObjectA(reinterpret_cast<HFONT>(SendMessageA(d, WM_GETFONT, 0, 0)), sizeof font, &font);
      steps.push_back(Ticks(d, {2008}) + std::to_string(GetWindow(d, GW_OWNER) == owner.hwnd) + font.lfFaceName);
      Click(d, 2008);
      Click(d, 2009);  // without the host's help library: nothing happens
      if (c.end == IDOK) Click(d, IDOK);
      if (c.end == IDCANCEL) PostMessageA(GetDlgItem(d, 2000), WM_KEYDOWN, VK_ESCAPE, 0);
      if (!c.end) PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(c.out, result);
    EXPECT_EQ(steps, (std::vector<std::string>{std::string(c.in ? "x" : "-") + "1MS Sans Serif"}));
    EXPECT_EQ(properties, seen);
  }

  // Archive: Select All off, the five on one by one, Select All on, Reports off, help; then OK,
  // Cancel or the close box (0).
  const std::vector<int> boxes = {2017, 2012, 2014, 2016, 2015, 2018};  // Select All, then in the order of types
  for (int end : {IDOK, IDCANCEL, 0}) {
    bool types[5] = {true, true, true, true, true}, result = end != IDOK;
    std::vector<std::string> steps;
    const auto seen = Operate("Archive Model", end == IDOK ? "archive_model.bmp" : "", [&] {
      result = WindowsUi().ArchiveDialog(0, types);
    }, [&](HWND d) {
      steps.push_back(Ticks(d, boxes));
      for (const std::vector<int>& ids : {std::vector<int>{2017}, {2012, 2014, 2016, 2015, 2018}, {2017, 2016}}) {
        for (int id : ids) Click(d, id);
        steps.push_back(Ticks(d, boxes));
      }
      Click(d, 9);
      if (end) Click(d, end);
      else PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(steps, (std::vector<std::string>{"xxxxxx", "------", "-xxxxx", "-xx-xx"}));
    EXPECT_EQ(end == IDOK ? "1 11011" : "0 11111", std::to_string(result) + " " + std::to_string(types[0] * 10000 +
                                                    types[1] * 1000 + types[2] * 100 + types[3] * 10 + types[4]));
    const std::string check = "\" check";
    EXPECT_EQ(seen, (std::vector<std::string>{
        "1 Button \"OK\" default", "2 Button \"Cancel\" push", "-1 Button \"Select file types to archive\" group",
        "2017 Button \"Select All" + check, "2012 Button \"Input" + check, "2014 Button \"Result" + check,
        "2016 Button \"Reports" + check, "2015 Button \"Unit" + check, "2018 Button \"Libraries" + check,
        "9 Button \"Help\" push"}));
  }
#endif
}

}  // namespace
}  // namespace miradel::ui
