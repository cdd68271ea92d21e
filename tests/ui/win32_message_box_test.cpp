// On Windows (under Wine with a virtual display): the real boxes and folder browser. A helper
// thread finds each, reads what it shows and where, and presses a button as a person would. And a
// real host window kept disabled while a question is up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/scripted_ui.h"
#include "ui/user_interface.h"
#include "ui/win32_ui.h"
#include "ui/window_disabler.h"
#include "ui/window_disabler_timings.h"

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#undef MessageBox

#include <algorithm>
#include <cstdlib>
#endif

namespace miradel::ui {
namespace {

#ifdef _WIN32
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

// What the helper saw of one box ("" for a button it lacks); centred: its middle is the owner's,
// to the pixel that halving loses.
struct Seen {
  bool centred = false;
  std::string text, yes, no;
  RECT rect = {};
};

// Runs show() on this thread while a helper waits for the box of that caption (up to 60 s, a safety
// net), runs meanwhile(), reads the box and presses `button`. Without a box the helper ends the
// thread's modal loop instead, so that the test fails rather than hangs.
Seen ShowAndPress(HWND owner, const char* caption, int button, const std::function<int()>& show, int* answer,
                  const std::function<void()>& meanwhile = [] {}) {
  Seen s;
  const DWORD thread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND box = nullptr;
    for (int i = 0; i < 3000 && !(box = FindWindowA(MAKEINTATOM(32770), caption)); ++i) Sleep(20);
    // Read once the box's thread is back in its message loop: by then the hook has acted.
    DWORD_PTR ignored = 0;
    if (box) SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
    meanwhile();
    if (!box) {
      PostThreadMessageA(thread, WM_QUIT, 0, 0);
      return;
    }
    RECT own, r;
    GetWindowRect(box, &r);
    const bool centred = GetWindowRect(owner, &own) && std::abs(r.left + r.right - own.left - own.right) <= 1 &&
                         std::abs(r.top + r.bottom - own.top - own.bottom) <= 1;
    s = {centred, TextOf(GetDlgItem(box, 0xFFFF)), TextOf(GetDlgItem(box, IDYES)), TextOf(GetDlgItem(box, IDNO)),
         r};  // 0xFFFF: the box's static text
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  });
  *answer = show();
  helper.join();
  return s;
}

#endif  // _WIN32

TEST(Win32MessageBoxTest, EachBoxShowsItsTextAndButtonsWhereItBelongsAlsoTwoAtOnce) {
#ifndef _WIN32
  GTEST_SKIP() << "the real boxes are Windows only";
#else
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
    if (c.place == kBottomRight) EXPECT_TRUE(seen.rect.right == screen.right && seen.rect.bottom == screen.bottom);
    if (c.place == kOrigin) EXPECT_TRUE(seen.rect.left == 0 && seen.rect.top == 0);
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
#endif
}

TEST(Win32WindowTest, TheFolderBrowserBelongsToItsOwnerAndAHostWindowStaysDisabledWhileAQuestionIsUp) {
#ifndef _WIN32
  GTEST_SKIP() << "the real windows are Windows only";
#else
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
    HWND box = nullptr, shown_title = nullptr, box_owner = nullptr;
    const DWORD thread = GetCurrentThreadId();
    std::thread helper([&] {
      // Without a browser the thread's modal loop is ended, so that the test fails rather than hangs.
      if (!await([&] { return (box = FindWindowA(MAKEINTATOM(32770), nullptr)) != nullptr; })) {
        return (void)PostThreadMessageA(thread, WM_QUIT, 0, 0);
      }
      DWORD_PTR ignored = 0;
      SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);  // it is up and handling messages
      box_owner = GetWindow(box, GW_OWNER);
      shown_title = FindWindowExA(box, nullptr, "Static", "Pick the model folder");
      if (chosen) SendMessageA(box, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(chosen));
      PostMessageA(box, WM_COMMAND, chosen ? IDOK : IDCANCEL, 0);
    });
    std::string folder = "untouched";
    EXPECT_EQ(chosen ? FolderChoice::kChosen : FolderChoice::kCancelled,
              WindowsUi().BrowseForFolder(owner.handle(), "Pick the model folder", 0x40, &folder));
    helper.join();
    EXPECT_TRUE(box_owner == owner.hwnd && shown_title);
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
#endif
}

}  // namespace
}  // namespace miradel::ui
