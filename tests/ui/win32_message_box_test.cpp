// On Windows (under Wine with a virtual display): the real boxes. A helper thread finds each box,
// reads its buttons and position, and presses a button as a person would.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#undef MessageBox

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/ui_win32.h"
#include "ui/user_interface.h"

namespace miradel::ui {
namespace {

// A top-level window of the calling thread at a chosen place: the box's owner.
class OwnerWindow {
 public:
  OwnerWindow(int x, int y, int width, int height) {
    static const ATOM registered = [] {
      WNDCLASSA wc = {};
      wc.lpfnWndProc = DefWindowProcA;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "MiradelTestOwner";
      return RegisterClassA(&wc);
    }();
    if (registered) {
      hwnd_ = CreateWindowExA(0, "MiradelTestOwner", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
  }
  ~OwnerWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }
  std::intptr_t handle() const { return reinterpret_cast<std::intptr_t>(hwnd_); }

 private:
  HWND hwnd_ = nullptr;
};

// Without a display (Wine without an X server) no window can be made.
bool HaveDisplay() {
  static const bool have = OwnerWindow(0, 0, 50, 50).hwnd() != nullptr;
  return have;
}

std::string TextOf(HWND window) {
  char buffer[512] = {};
  return std::string(buffer, static_cast<std::size_t>(std::max(0, GetWindowTextA(window, buffer, sizeof buffer))));
}

std::string ItemText(HWND box, int id) {
  char buffer[128] = {};
  return GetDlgItem(box, id) ? std::string(buffer, GetDlgItemTextA(box, id, buffer, sizeof buffer)) : "(none)";
}

// What the helper saw of one box.
struct Seen {
  bool found = false;
  std::string caption, yes, no, ok;
  std::vector<std::string> texts;  // of its child windows
  RECT rect = {};
  bool HasText(const std::string& text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }
};

BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM param) {
  char name[16] = {};
  if (IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) > 0 && std::string(name) == "#32770") {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<std::string>*>(param)->push_back(TextOf(child));
  return TRUE;
}

// The visible message box of a thread; waits up to 60 s, a safety net against a box that never comes.
HWND WaitForBox(DWORD thread) {
  for (int i = 0; i < 3000; ++i) {
    HWND box = nullptr;
    EnumThreadWindows(thread, TakeVisibleDialog, reinterpret_cast<LPARAM>(&box));
    if (box) {
      // Answered only once the box's thread is back in its message loop: by then the hook has
      // acted on the activation.
      DWORD_PTR ignored = 0;
      SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
      return box;
    }
    Sleep(20);
  }
  return nullptr;
}

Seen Inspect(HWND box) {
  Seen s;
  s.found = true;
  s.caption = TextOf(box);
  s.yes = ItemText(box, IDYES);
  s.no = ItemText(box, IDNO);
  s.ok = ItemText(box, IDOK);
  GetWindowRect(box, &s.rect);
  EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&s.texts));
  return s;
}

// As a click on the button: the box ends with that button's id. Without a box, ends the thread's
// modal loop instead, so that the test fails rather than hangs.
void Press(HWND box, DWORD thread, int id) {
  if (box) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  } else {
    PostThreadMessageA(thread, WM_QUIT, 0, 0);
  }
}

// Runs show() on this thread while a helper inspects the box it shows and presses `button`.
Seen ShowAndPress(int button, const std::function<int()>& show, int* answer) {
  Seen seen;
  const DWORD thread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND box = WaitForBox(thread);
    if (box) seen = Inspect(box);
    Press(box, thread, button);
  });
  *answer = show();
  helper.join();
  return seen;
}

// Where a centred box must be: the middle of the owner, inside the desktop's right and bottom
// edges and not above or left of its origin.
POINT CentredPosition(HWND owner, const RECT& box) {
  RECT desktop, own;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(owner, &own);
  const LONG w = box.right - box.left, h = box.bottom - box.top;
  LONG x = std::max(0L, own.left + (own.right - own.left) / 2 - w / 2);
  LONG y = std::max(0L, own.top + (own.bottom - own.top) / 2 - h / 2);
  if (x + w > desktop.right) x = desktop.right - w;
  if (y + h > desktop.bottom) y = desktop.bottom - h;
  return POINT{x, y};
}

bool IsCentredOn(HWND owner, const RECT& box) {
  const POINT p = CentredPosition(owner, box);
  return p.x == box.left && p.y == box.top;
}

class Win32MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDisplay()) GTEST_SKIP() << "no display to show windows on";
    previous_ = SetCurrent(&platform::win32::WindowsUi());
    installed_ = true;
  }
  void TearDown() override {
    g_bRenameRetrySave = 0;
    if (installed_) SetCurrent(previous_);
  }
  UserInterface* previous_ = nullptr;
  bool installed_ = false;
};

TEST_F(Win32MessageBoxTest, TheQuestionIsCentredOnItsOwnerAndLabelledByTheFlag) {
  struct Case {
    int flag, button;
    const char* yes;
    const char* no;
  };
  for (const Case& c : {Case{1, IDNO, "&Retry", "&Save"}, Case{0, IDYES, "&Yes", "&No"}}) {
    SCOPED_TRACE(c.flag);
    OwnerWindow owner(40 + 400 * c.flag, 60, 420, 300);  // far from the middle of the screen
    ASSERT_NE(nullptr, owner.hwnd());
    g_bRenameRetrySave = c.flag;
    int answer = 0;
    const Seen seen = ShowAndPress(c.button, [&] {
      return RetrySaveMessageBox(owner.handle(), "Unable to update model", "Caption ", MB_YESNO | MB_ICONQUESTION);
    }, &answer);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(c.button, answer);
    EXPECT_EQ(c.yes, seen.yes);
    EXPECT_EQ(c.no, seen.no);
    EXPECT_EQ("Caption ", seen.caption);
    EXPECT_TRUE(seen.HasText("Unable to update model"));
    EXPECT_TRUE(IsCentredOn(owner.hwnd(), seen.rect));
  }
}

TEST_F(Win32MessageBoxTest, ThePlainBoxHasTheTitleAndAnOkButtonAndIsNotMoved) {
  OwnerWindow owner(30, 30, 300, 200);
  ASSERT_NE(nullptr, owner.hwnd());
  int answer = 0;
  const Seen seen = ShowAndPress(IDOK, [&] { return PlainMessageBox(owner.handle(), "Model was saved"); }, &answer);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(IDOK, answer);
  EXPECT_EQ("Miradel", seen.caption);
  EXPECT_EQ("OK", seen.ok);
  EXPECT_EQ("(none)", seen.yes);
  EXPECT_TRUE(seen.HasText("Model was saved"));
  // The system places plain boxes by its own rule, not in the middle of this owner; that is what
  // gives the centring checks their meaning.
  EXPECT_FALSE(IsCentredOn(owner.hwnd(), seen.rect));
}

TEST_F(Win32MessageBoxTest, ACentredBoxStaysInsideTheDesktop) {
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  // Owners hanging over the bottom right corner and over the top left one.
  for (const POINT& at : {POINT{desktop.right - 120, desktop.bottom - 80}, POINT{-350, -250}}) {
    SCOPED_TRACE(testing::Message() << "owner at " << at.x << "," << at.y);
    OwnerWindow owner(at.x, at.y, 400, 300);
    ASSERT_NE(nullptr, owner.hwnd());
    int answer = 0;
    const Seen seen = ShowAndPress(IDOK, [&] {
      return RetrySaveMessageBox(owner.handle(), "locked by", "", MB_OK | MB_ICONEXCLAMATION);
    }, &answer);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(IDOK, answer);
    EXPECT_TRUE(IsCentredOn(owner.hwnd(), seen.rect));
    EXPECT_LE(seen.rect.right, desktop.right);
    EXPECT_LE(seen.rect.bottom, desktop.bottom);
    EXPECT_GE(seen.rect.left, 0);
    EXPECT_GE(seen.rect.top, 0);
  }
}

TEST_F(Win32MessageBoxTest, AnOwnerThatIsNoWindowStillGetsALabelledBox) {
  HWND gone = OwnerWindow(10, 10, 100, 100).hwnd();
  ASSERT_NE(nullptr, gone);
  ASSERT_FALSE(IsWindow(gone));
  int answer = 0;
  const Seen seen = ShowAndPress(IDYES, [&] {
    return RetrySaveMessageBox(reinterpret_cast<std::intptr_t>(gone), "no owner", "", MB_YESNO, true);
  }, &answer);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(IDYES, answer);
  EXPECT_EQ("&Retry", seen.yes);
  EXPECT_EQ("&Save", seen.no);
}

TEST_F(Win32MessageBoxTest, TwoThreadsBoxesAtOnceEachKeepTheirOwnLabelsAndOwner) {
  // The copy thread's question and the host thread's ordinary yes/no box, both up at once, each
  // owned by a window of its own thread.
  struct Asker {
    int x, y, flag;
    const char* text;
    std::atomic<DWORD> thread{0};
    HWND owner = nullptr;
    int answer = 0;
    HWND box = nullptr;
    Seen seen;
    bool centred = false;
  };
  Asker copy{60, 80, 1, "copy thread question"};
  Asker host{700, 500, 0, "host thread question"};
  auto ask = [](Asker* a) {
    OwnerWindow owner(a->x, a->y, 380, 280);
    a->owner = owner.hwnd();
    a->thread = GetCurrentThreadId();
    if (!owner.hwnd()) return;
    g_bRenameRetrySave = a->flag;
    a->answer = RetrySaveMessageBox(owner.handle(), a->text, "", MB_YESNO | MB_ICONQUESTION);
  };
  auto wait_for = [](Asker* a) {
    while (!a->thread) Sleep(5);
    a->box = WaitForBox(a->thread);
  };
  std::thread copy_thread(ask, &copy);
  wait_for(&copy);  // its labels are fixed before the other thread changes the flag
  std::thread host_thread(ask, &host);
  wait_for(&host);
  const bool both_up = copy.box && host.box && IsWindowVisible(copy.box) && IsWindowVisible(host.box);
  for (Asker* a : {&copy, &host}) {
    if (a->box) a->seen = Inspect(a->box);
    a->centred = a->box && IsCentredOn(a->owner, a->seen.rect);
  }
  Press(host.box, host.thread, IDYES);
  Press(copy.box, copy.thread, IDNO);
  host_thread.join();
  copy_thread.join();

  EXPECT_TRUE(both_up);
  EXPECT_EQ("&Retry", copy.seen.yes);
  EXPECT_EQ("&Save", copy.seen.no);
  EXPECT_EQ("&Yes", host.seen.yes);
  EXPECT_EQ("&No", host.seen.no);
  EXPECT_TRUE(copy.seen.HasText("copy thread question"));
  EXPECT_TRUE(host.seen.HasText("host thread question"));
  EXPECT_TRUE(copy.centred);
  EXPECT_TRUE(host.centred);
  EXPECT_EQ(IDNO, copy.answer);
  EXPECT_EQ(IDYES, host.answer);
}

}  // namespace
}  // namespace miradel::ui

#endif  // _WIN32
