// On Windows (under Wine with a virtual display): the real boxes. A helper thread finds each box,
// reads its buttons and position, and presses a button as a person would.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#undef MessageBox

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/win32_ui.h"
#include "support/scripted_ui.h"
#include "ui/user_interface.h"

namespace miradel::ui {
namespace {

// A visible top-level window of the calling thread at a chosen place: the box's owner.
struct OwnerWindow {
  HWND hwnd;
  OwnerWindow(int x, int y, int width, int height)
      : hwnd(CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height, nullptr,
                             nullptr, nullptr, nullptr)) {}
  ~OwnerWindow() { DestroyWindow(hwnd); }
  std::intptr_t handle() const { return reinterpret_cast<std::intptr_t>(hwnd); }
};

std::string TextOf(HWND window) {  // "" for none
  char buffer[512] = {};
  const int n = window ? GetWindowTextA(window, buffer, sizeof buffer) : 0;
  return std::string(buffer, static_cast<std::size_t>(std::max(0, n)));
}

// What the helper saw of one box.
struct Seen {
  bool found = false, centred = false;  // centred: its middle is the owner's, to the pixel halving loses
  std::string caption, yes, no;    // "" for a button the box lacks
  std::vector<std::string> texts;  // of its child windows
  RECT rect = {};
  bool Has(const std::string& text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }
};

BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM param) {
  char name[16] = {};
  if (!IsWindowVisible(window) || !GetClassNameA(window, name, sizeof name) || std::string(name) != "#32770")
    return TRUE;
  *reinterpret_cast<HWND*>(param) = window;
  return FALSE;
}

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<std::string>*>(param)->push_back(TextOf(child));
  return TRUE;
}

// Runs show() on this thread while a helper waits for the box it shows (up to 60 s, a safety net),
// runs meanwhile(), reads the box and presses `button` as a person would. Without a box the helper
// ends the thread's modal loop instead, so that the test fails rather than hangs.
Seen ShowAndPress(HWND owner, int button, const std::function<int()>& show, int* answer,
                  const std::function<void()>& meanwhile = [] {}) {
  Seen s;
  const DWORD thread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND box = nullptr;
    for (int i = 0; i < 3000 && !box; ++i) {
      EnumThreadWindows(thread, TakeVisibleDialog, reinterpret_cast<LPARAM>(&box));
      if (!box) Sleep(20);
    }
    // Read once the box's thread is back in its message loop: by then the hook has acted.
    DWORD_PTR ignored = 0;
    if (box) SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
    meanwhile();
    if (!box) {
      PostThreadMessageA(thread, WM_QUIT, 0, 0);
      return;
    }
    s.found = true;
    s.caption = TextOf(box);
    s.yes = TextOf(GetDlgItem(box, IDYES));
    s.no = TextOf(GetDlgItem(box, IDNO));
    RECT own;
    GetWindowRect(box, &s.rect);
    s.centred = GetWindowRect(owner, &own) && std::abs((s.rect.left + s.rect.right) - (own.left + own.right)) <= 1 &&
                std::abs((s.rect.top + s.rect.bottom) - (own.top + own.bottom)) <= 1;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&s.texts));
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
  });
  *answer = show();
  helper.join();
  return s;
}

class Win32MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OwnerWindow(0, 0, 50, 50).hwnd) GTEST_SKIP() << "no display to show windows on";
  }
  void TearDown() override { g_bRenameRetrySave = 0; }
  test::ScopedUi ui_{&ui::WindowsUi()};
};

TEST_F(Win32MessageBoxTest, EachBoxShowsItsCaptionTextAndButtonsWhereItBelongs) {
  enum Place { kCentred, kNotCentred, kBottomRight, kOrigin, kAnywhere };
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  struct Case {
    const char* text;
    int x, y;  // the owner's place, far from the middle of the screen or over its corners
    bool plain, owner_gone;
    int flag, style, button;
    const char *yes, *no;
    Place place;
  };
  const Case cases[] = {
      {"Retry/Save question", 40, 60, false, false, 1, MB_YESNO | MB_ICONQUESTION, IDNO, "&Retry", "&Save", kCentred},
      {"ordinary question", 440, 60, false, false, 0, MB_YESNO | MB_ICONQUESTION, IDYES, "&Yes", "&No", kCentred},
      // The system places plain boxes by its own rule, not in the middle of the owner; that is what
      // gives the centring checks their meaning.
      {"plain box", 30, 30, true, false, 0, MB_OK, IDOK, "", "", kNotCentred},
      {"owner over the bottom right", desktop.right - 120, desktop.bottom - 80, false, false, 0, MB_OK, IDOK, "", "",
       kBottomRight},
      {"owner over the top left", -350, -250, false, false, 0, MB_OK | MB_ICONEXCLAMATION, IDOK, "", "", kOrigin},
      {"owner that is no window", 10, 10, false, true, 1, MB_YESNO, IDYES, "&Retry", "&Save", kAnywhere},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    OwnerWindow owner(c.x, c.y, 400, 300);
    ASSERT_NE(nullptr, owner.hwnd);
    if (c.owner_gone) ASSERT_TRUE(DestroyWindow(owner.hwnd) && !IsWindow(owner.hwnd));
    g_bRenameRetrySave = c.flag;
    int answer = 0;
    const Seen seen = ShowAndPress(owner.hwnd, c.button, [&] {
      return c.plain ? PlainMessageBox(owner.handle(), c.text, c.style)
                     : RetrySaveMessageBox(owner.handle(), c.text, "Caption ", c.style);
    }, &answer);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(c.button, answer);
    EXPECT_EQ(c.plain ? "Miradel" : "Caption ", seen.caption);
    EXPECT_TRUE(seen.Has(c.text));
    EXPECT_EQ(c.yes, seen.yes);
    EXPECT_EQ(c.no, seen.no);
    if (c.place == kCentred || c.place == kNotCentred) EXPECT_EQ(c.place == kCentred, seen.centred);
    if (c.place == kBottomRight) EXPECT_TRUE(seen.rect.right == desktop.right && seen.rect.bottom == desktop.bottom);
    if (c.place == kOrigin) EXPECT_TRUE(seen.rect.left == 0 && seen.rect.top == 0);
  }
}

TEST_F(Win32MessageBoxTest, TwoThreadsBoxesAtOnceEachKeepTheirOwnLabelsAndOwner) {
  // The copy thread's question and the host thread's ordinary yes/no box, each owned by a window of
  // its own thread; neither is read or pressed before both are up.
  struct Asker {
    int x, flag, button;
    const char *text, *yes, *no;
    int answer = 0;
    Seen seen;
  };
  Asker copy{60, 1, IDNO, "copy thread question", "&Retry", "&Save"};
  Asker host{700, 0, IDYES, "host thread question", "&Yes", "&No"};
  std::atomic<int> up{0};
  auto ask = [&](Asker* a) {
    OwnerWindow owner(a->x, 80 + a->x / 2, 380, 280);
    g_bRenameRetrySave = a->flag;
    a->seen = ShowAndPress(owner.hwnd, a->button, [&] {
      return RetrySaveMessageBox(owner.handle(), a->text, "", MB_YESNO | MB_ICONQUESTION);
    }, &a->answer, [&] {
      ++up;
      for (int i = 0; i < 3000 && up < 2; ++i) Sleep(20);
    });
  };
  std::thread copy_thread(ask, &copy);
  while (up == 0) Sleep(5);  // its labels are fixed before the other thread changes the flag
  std::thread host_thread(ask, &host);
  copy_thread.join();
  host_thread.join();

  for (Asker* a : {&copy, &host}) {
    SCOPED_TRACE(a->text);
    ASSERT_TRUE(a->seen.found);
    EXPECT_EQ(a->yes, a->seen.yes);
    EXPECT_EQ(a->no, a->seen.no);
    EXPECT_TRUE(a->seen.Has(a->text));
    EXPECT_TRUE(a->seen.centred);
    EXPECT_EQ(a->button, a->answer);
  }
}

}  // namespace
}  // namespace miradel::ui

#endif  // _WIN32
