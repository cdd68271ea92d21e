// On Windows (under Wine with a virtual display): the real boxes, folder browser, properties and
// archive dialogs. A helper thread finds each, reads what it shows and where, measures every
// control's text against its room and clicks as a person would. And a real host window kept
// disabled while a question is up, and the help library of either calling convention.
#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#undef MessageBox

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "platform/win32/primitives.h"
#include "support/scripted_ui.h"
#include "ui/win32_ui.h"
#include "ui/window_disabler.h"
#include "ui/window_disabler_timings.h"

namespace miradel::ui {
namespace {

// A visible top-level window of the calling thread at a chosen place: the box's owner.
struct OwnerWindow {
  HWND hwnd;
  OwnerWindow(int x, int y, int width = 400, int height = 300)
      : hwnd(CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height, nullptr,
                             nullptr, nullptr, nullptr)) {}
  ~OwnerWindow() { DestroyWindow(hwnd); }
  std::intptr_t handle() const { return reinterpret_cast<std::intptr_t>(hwnd); }
};

std::string TextOf(HWND window) {  // "" for none
  char buffer[512] = {};
  return std::string(buffer, window ? static_cast<std::size_t>(std::max(0, GetWindowTextA(window, buffer, 512))) : 0);
}

// The window's middle is that of owner, or of the work area for none, to the pixel that halving
// loses.
bool Centred(HWND window, HWND owner) {
  RECT area, r;
  return (owner ? GetWindowRect(owner, &area) : SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) &&
         GetWindowRect(window, &r) && std::abs(r.left + r.right - area.left - area.right) <= 1 &&
         std::abs(r.top + r.bottom - area.top - area.bottom) <= 1;
}

// What does not fit: each control whose text (in its own font, the mnemonic marks left out) is
// wider than its client area, with room for a check box's square and for a group box's frame on
// both sides of its caption; only a field that scrolls may hold more. And a dialog that is not
// centred on its owner, or on the work area when it has none.
std::vector<std::string> Misfits(HWND dialog) {
  std::vector<std::string> out;
  HDC dc = CreateCompatibleDC(nullptr);  // the screen's, for this helper's fonts alone
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char name[32] = {};
    std::string s = TextOf(c);
    const bool edit = GetClassNameA(c, name, sizeof name) && std::string(name) == "Edit";
    for (std::size_t i = s.find('&'); !edit && i != std::string::npos; i = s.find('&', i + 1)) s.erase(i, 1);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)));
    SIZE size = {}, letter = {};
    RECT room = {};
    GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size);
    GetTextExtentPoint32A(dc, "x", 1, &letter);
    const LONG style = GetWindowLongA(c, GWL_STYLE), kind = std::string(name) == "Button" ? style & BS_TYPEMASK : -1;
    size.cx += kind == BS_AUTOCHECKBOX ? GetSystemMetrics(SM_CXMENUCHECK) + letter.cx
               : kind == BS_GROUPBOX   ? 2 * letter.cx
                                       : 0;
    if (GetClientRect(c, &room) && size.cx > room.right && !(edit && style & WS_HSCROLL))
      out.push_back(s + ": " + std::to_string(size.cx) + " > " + std::to_string(room.right));
  }
  DeleteDC(dc);
  if (!Centred(dialog, GetWindow(dialog, GW_OWNER))) out.push_back("not centred");
  return out;
}

// Runs show() on this thread while a helper waits for the dialog of that caption (any, for null; up
// to 60 s, a safety net) and, once its thread is back in its message loop (by then the hooks have
// acted), collects its misfits and runs act(dialog). Without a dialog the helper ends the thread's
// modal loop, so that the test fails rather than hangs.
std::vector<std::string> Operate(const char* caption, const std::function<void()>& show,
                                 const std::function<void(HWND)>& act) {
  std::vector<std::string> seen;
  const DWORD thread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 3000 && !(dialog = FindWindowA(MAKEINTATOM(32770), caption)); ++i) Sleep(20);
    if (!dialog) return (void)PostThreadMessageA(thread, WM_QUIT, 0, 0);
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, nullptr);
    seen = Misfits(dialog);
    act(dialog);
  });
  show();
  helper.join();
  return seen;
}

// What the helper saw of one box ("" for a button it lacks).
struct Seen { bool centred = false; std::string text, yes, no; RECT rect = {}; };

// Shows a box with show() and presses `button` once meanwhile() has run.
Seen ShowAndPress(HWND owner, const char* caption, int button, const std::function<int()>& show, int* answer,
                  const std::function<void()>& meanwhile = [] {}) {
  Seen s;
  Operate(caption, [&] { *answer = show(); }, [&](HWND box) {
    meanwhile();
    GetWindowRect(box, &s.rect);
    s = {Centred(box, owner), TextOf(GetDlgItem(box, 0xFFFF)), TextOf(GetDlgItem(box, IDYES)),
         TextOf(GetDlgItem(box, IDNO)), s.rect};  // 0xFFFF: the box's static text
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  });
  return s;
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
std::string Ticks(HWND dialog, std::vector<int> ids) {
  std::string s;
  for (int id : ids) s += IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 'x' : '-';
  return s;
}
TEST(Win32MessageBoxTest, EachBoxShowsItsTextAndButtonsWhereItBelongsAlsoTwoAtOnce) {
  if (!OwnerWindow(0, 0, 50, 50).hwnd) GTEST_SKIP() << "no display to show windows on";
  test::ScopedUi ui(&WindowsUi());
  struct ClearFlag { ~ClearFlag() { g_bRenameRetrySave = 0; } } clear_flag;
  RECT screen;
  GetWindowRect(GetDesktopWindow(), &screen);
  // Owners far from the middle of the screen or over its corners. A plain box is neither moved nor
  // relabelled, whatever the flag says: the system places it by its own rule, not in the middle of
  // the owner, which gives the centring checks their meaning. An owner that is no window leaves the
  // box anywhere.
  enum Place { kPlain, kBottomRight, kOrigin, kNoOwner };
  struct Case { const char* text; int x, y, flag, style, button; const char *yes, *no; Place place; };
  const Case cases[] = {
      {"plain box", 30, 30, 1, MB_YESNO, IDNO, "&Yes", "&No", kPlain},
      {"owner over the bottom right", screen.right - 120, screen.bottom - 80, 0, MB_OK, IDOK, "", "", kBottomRight},
      {"owner over the top left", -350, -250, 0, MB_OK | MB_ICONEXCLAMATION, IDOK, "", "", kOrigin},
      {"owner that is no window", 10, 10, 1, MB_YESNO, IDYES, "&Retry", "&Save", kNoOwner},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    OwnerWindow owner(c.x, c.y);
    if (c.place == kNoOwner) DestroyWindow(owner.hwnd);
    g_bRenameRetrySave = c.flag;
    int answer = 0;
    const Seen seen = ShowAndPress(owner.hwnd, c.place == kPlain ? kAppTitle : "Caption ", c.button, [&] {
      return c.place == kPlain ? PlainMessageBox(owner.handle(), c.text, c.style)
                               : RetrySaveMessageBox(owner.handle(), c.text, "Caption ", c.style);
    }, &answer);
    EXPECT_EQ(c.button, answer);
    EXPECT_EQ(std::string(c.text) + "|" + c.yes + "|" + c.no, seen.text + "|" + seen.yes + "|" + seen.no);
    if (c.place == kPlain) EXPECT_FALSE(seen.centred);
    if (c.place == kBottomRight)
      EXPECT_EQ(std::make_pair(seen.rect.right, seen.rect.bottom), std::make_pair(screen.right, screen.bottom));
    if (c.place == kOrigin) EXPECT_EQ(std::make_pair(seen.rect.left, seen.rect.top), std::make_pair(0L, 0L));
  }

  // Centred and labelled as asked: the copy thread's question and the host thread's ordinary yes/no
  // box, each owned by a window of its own thread; neither is read or pressed before both are up.
  struct Asker { int x, flag, button; const char *text, *yes, *no; int answer; Seen seen; };
  Asker askers[] = {{60, 1, IDNO, "copy thread", "&Retry", "&Save", 0, {}},
                    {700, 0, IDYES, "host thread", "&Yes", "&No", 0, {}}};
  std::atomic<int> up{0};
  auto ask = [&](Asker* a) {
    OwnerWindow owner(a->x, 80 + a->x / 2, 380, 280);
    g_bRenameRetrySave = a->flag;
    a->seen = ShowAndPress(owner.hwnd, a->text, a->button, [&] {
      return RetrySaveMessageBox(owner.handle(), a->text, a->text, MB_YESNO | MB_ICONQUESTION);
    }, &a->answer, [&] {
      ++up;
      for (int i = 0; i < 3000 && up < 2; ++i) Sleep(20);
    });
  };
  std::thread copy(ask, &askers[0]);
  for (int i = 0; i < 3000 && up == 0; ++i) Sleep(20);  // its labels are fixed before the flag changes
  EXPECT_EQ(1, up.load()) << "the copy thread's box did not come up";
  std::thread host(ask, &askers[1]);
  copy.join();
  host.join();
  for (const Asker& a : askers) {
    EXPECT_TRUE(a.seen.centred) << a.text;
    EXPECT_EQ(std::string(a.text) + "|" + a.yes + "|" + a.no, a.seen.text + "|" + a.seen.yes + "|" + a.seen.no);
    EXPECT_EQ(a.button, a.answer) << a.text;
  }
}

TEST(Win32WindowTest, TheFolderBrowserBelongsToItsOwnerAndAHostWindowStaysDisabledWhileAQuestionIsUp) {
  if (!OwnerWindow(0, 0, 50, 50).hwnd) GTEST_SKIP() << "no display to show windows on";
  auto await = [](const std::function<bool()>& done) {  // up to 60 s
    for (int i = 0; i < 3000 && !done(); ++i) Sleep(20);
    return done();
  };
  OwnerWindow owner(100, 100);
  char windows_dir[MAX_PATH] = {};
  GetWindowsDirectoryA(windows_dir, MAX_PATH);
  // Cancelled; and a folder chosen as a person would (selected in the tree, then OK).
  for (const char* chosen : {static_cast<const char*>(nullptr), static_cast<const char*>(windows_dir)}) {
    HWND shown_title = nullptr, box_owner = nullptr;
    std::string folder = "untouched";
    FolderChoice choice = FolderChoice::kNoPath;
    Operate(nullptr, [&] {
      choice = WindowsUi().BrowseForFolder(owner.handle(), "Pick the model folder", 0x40, &folder);
    }, [&](HWND box) {
      box_owner = GetWindow(box, GW_OWNER);
      shown_title = FindWindowExA(box, nullptr, "Static", "Pick the model folder");
      if (chosen) SendMessageA(box, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(chosen));
      PostMessageA(box, WM_COMMAND, chosen ? IDOK : IDCANCEL, 0);
    });
    EXPECT_EQ(chosen ? FolderChoice::kChosen : FolderChoice::kCancelled, choice);
    EXPECT_EQ(box_owner, owner.hwnd);
    EXPECT_NE(shown_title, nullptr);
    EXPECT_EQ(chosen ? chosen : "untouched", folder);
  }

  // The host's window on a thread of its own that handles its messages; the question is up on this
  // one, as on the copy thread. The host enables its window meanwhile.
  std::atomic<HWND> host{nullptr};
  std::atomic<DWORD> host_thread{0};
  std::thread host_ui([&] {
    OwnerWindow window(300, 300);
    host = window.hwnd;
    host_thread = GetCurrentThreadId();
    for (MSG msg; GetMessageA(&msg, nullptr, 0, 0) > 0;) DispatchMessageA(&msg);
  });
  await([&] { return host_thread != 0; });
  test::ScopedUi ui(&WindowsUi());
  struct RestoreTimings { ~RestoreTimings() { WindowDisablerTimings::Restore(); } } restore;
  WindowDisablerTimings::SetInterval(std::chrono::milliseconds(20));
  {
    WindowDisabler disabler(reinterpret_cast<std::intptr_t>(host.load()));
    EXPECT_TRUE(await([&] { return !IsWindowEnabled(host); }));
    EnableWindow(host, TRUE);
    EXPECT_TRUE(await([&] { return !IsWindowEnabled(host); })) << "not disabled again";
  }
  EXPECT_TRUE(IsWindowEnabled(host));
  PostThreadMessageA(host_thread, WM_QUIT, 0, 0);
  host_ui.join();
}

TEST(Win32DialogsTest, BothDialogsFitTheirTextsSitCentredFollowTheirModelsAndEndAsTheUserDid) {
  OwnerWindow owner(500, 400);
  if (!owner.hwnd) GTEST_SKIP() << "no display to show windows on";
  FileProperties p{"PUMP.CMB", "JANE", "7", "Today, December 05, 2026, 4:10:31 AM", "Friday, December 04, 2026, 9:05:03 PM",
                   "", "C:\\models\\a folder with a long name\\and another\\and one more level\\pump", "1.50 KB (1536 bytes)"};
  // Properties: the box is clicked, the help button pressed, and the dialog ends by
  // Close (IDOK), the close box (0) or Escape (IDCANCEL). Only Close reads the box back.
  struct Case { int end; bool in, out; };
  for (const Case& c : {Case{IDOK, true, false}, {IDOK, false, true}, {0, true, true}, {IDCANCEL, false, false}}) {
    SCOPED_TRACE(std::to_string(c.end) + (c.in ? " ticked" : " clear"));
    p.always_show = c.in;
    bool result = !c.out;
    std::vector<std::string> steps;
    const auto seen = Operate("Model File Properties", [&] {
      result = WindowsUi().FilePropertiesDialog(reinterpret_cast<std::intptr_t>(owner.hwnd), p);
    }, [&](HWND d) {
      LOGFONTA font = {};  // the template's
      GetObjectA(reinterpret_cast<HFONT>(SendMessageA(d, WM_GETFONT, 0, 0)), sizeof font, &font);
      steps.push_back(Ticks(d, {2008}) + std::to_string(GetWindow(d, GW_OWNER) == owner.hwnd) + font.lfFaceName);
      for (int id = 2000; id <= 2007; ++id) steps.back() += "|" + TextOf(GetDlgItem(d, id));
      Click(d, 2008);
      Click(d, 2009);  // without the host's help library: nothing happens
      if (c.end == IDOK) Click(d, IDOK);
      if (c.end == IDCANCEL) PostMessageA(GetDlgItem(d, 2000), WM_KEYDOWN, VK_ESCAPE, 0);
      if (!c.end) PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(c.out, result);
    EXPECT_EQ(steps, (std::vector<std::string>{std::string(c.in ? "x" : "-") + "1MS Sans Serif|PUMP.CMB|JANE|" +
                                               p.created + "|" + p.modified + "||" + p.location + "|" + p.size + "|7"}));
    EXPECT_EQ(std::vector<std::string>{}, seen);
  }

  // Archive: Select All off, the five on one by one, Select All on, Reports off, help; then OK,
  // Cancel or the close box (0).
  const std::vector<int> boxes = {2017, 2012, 2014, 2016, 2015, 2018};  // Select All, then in the order of types
  for (int end : {IDOK, IDCANCEL, 0}) {
    bool types[5] = {true, true, true, true, true}, result = end != IDOK;
    std::vector<std::string> steps;
    const auto seen = Operate("Archive Model", [&] {
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
    EXPECT_EQ(std::vector<std::string>{}, seen);
  }
}

// The host's help library may be built with either calling convention: a thousand calls into a
// stand-in of each reach it with their arguments and leave the caller's stack as it was.
TEST(Win32DialogsTest, HelpReachesALibraryOfEitherCallingConvention) {
#ifndef __i386__
  GTEST_SKIP() << "only 32-bit x86 Windows has two calling conventions";
#else
  char program[MAX_PATH] = {};
  std::string dir(program, GetModuleFileNameA(nullptr, program, MAX_PATH));
  dir = dir.substr(0, dir.find_last_of('\\') + 1);
  for (const std::string convention : {"stdcall", "cdecl"}) {
    HMODULE stub = LoadLibraryA((dir + "hx_help_" + convention + "\\hx_help.dll").c_str());
    using Last = const char*(__cdecl*)();  // the last call described
    auto last = reinterpret_cast<Last>(reinterpret_cast<void*>(GetProcAddress(stub, "hx_stub_last")));
    ASSERT_NE(stub, nullptr) << convention;
    ASSERT_NE(last, nullptr) << convention;
    volatile int canary = 12345;  // a stack left wrong by a call shows here, if it does not crash
    for (int i = 1; i <= 1000; ++i) platform::win32::ShowHelpTopic(0x10000 + i, "C:\\help\\" + convention, i);
    EXPECT_EQ("1000 103e8 C:\\help\\" + convention + " 1 1000", std::string(last()));
    EXPECT_EQ(canary, 12345);
    FreeLibrary(stub);
  }
#endif
}

}  // namespace
}  // namespace miradel::ui
#endif
