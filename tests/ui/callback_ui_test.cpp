// The port and the host's callback table: which interface is in use, what the plain and the
// Retry/Save boxes ask the host, and its answers coming back, also from two threads at once.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "miradel.h"
#include "support/scripted_ui.h"
#include "ui/callback_ui.h"
#include "ui/no_window_ui.h"
#include "ui/user_interface.h"

namespace miradel::ui {
namespace {

constexpr unsigned kCentre = MIRADEL_UI_CENTRE_ON_OWNER;

// owner, text, caption, style, yes and no labels ("(null)" when the library passed none), flags
using Call = std::tuple<std::intptr_t, std::string, std::string, unsigned, std::string, std::string, unsigned>;

// The host: records each call and answers per text (else `answer`). No call returns before `meet`
// of them are inside at once.
struct Host {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<Call> calls;
  int answer = kIdOk;
  std::map<std::string, int> answers;
  std::size_t meet = 0;
};

int MIRADEL_CALL HostBox(void* context, intptr_t owner, const char* text, const char* caption, unsigned int style,
                         const char* yes, const char* no, unsigned int flags) {
  Host* host = static_cast<Host*>(context);
  std::unique_lock<std::mutex> lock(host->mutex);
  host->calls.emplace_back(owner, text, caption, style, yes ? yes : "(null)", no ? no : "(null)", flags);
  host->cv.notify_all();
  host->cv.wait(lock, [&] { return host->calls.size() >= host->meet; });
  auto it = host->answers.find(text);
  return it != host->answers.end() ? it->second : host->answer;
}

class CallbackUiTest : public ::testing::Test {
 protected:
  void TearDown() override { g_bRenameRetrySave = 0; }
  test::ScopedUi restore_{nullptr};  // the platform default until a test installs a table
  Host host_;
  MiradelUiCallbacks table_{sizeof(MiradelUiCallbacks), &host_, &HostBox};
};

TEST_F(CallbackUiTest, EachBoxArrivesAsAskedAndOnlyAnAnswerOfItsButtonsComesBack) {
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  host_.answers = {{"copy failed", kIdCancel}, {"update failed", kIdNo}, {"continue?", kIdYes}};
  EXPECT_EQ(kIdCancel, PlainMessageBox(0x1234, "copy failed", kOkCancel | kIconStop));
  g_bRenameRetrySave = 1;
  EXPECT_EQ(kIdNo, RetrySaveMessageBox(77, "update failed", "", kYesNo | kIconQuestion));
  g_bRenameRetrySave = 0;
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(78, "continue?", "Missing ", kYesNo | kIconQuestion));
  EXPECT_EQ(host_.calls, (std::vector<Call>{
                             {0x1234, "copy failed", "Miradel", kOkCancel | kIconStop, "(null)", "(null)", 0},
                             {77, "update failed", "", kYesNo | kIconQuestion, "&Retry", "&Save", kCentre},
                             {78, "continue?", "Missing ", kYesNo | kIconQuestion, "(null)", "(null)", kCentre}}));

  // An answer outside the buttons becomes the default.
  for (int garbage : {12345, -1, 0, static_cast<int>(kIdOk)}) {
    host_.answer = garbage;
    EXPECT_EQ(kIdNo, RetrySaveMessageBox(1, "q", "", kYesNo, false)) << garbage;
    EXPECT_EQ(kIdYes, RetrySaveMessageBox(1, "q", "", kYesNo, true)) << garbage;
  }
  host_.answer = kIdCancel;
  EXPECT_EQ(kIdOk, PlainMessageBox(1, "q"));  // an OK box unless told otherwise
}

TEST_F(CallbackUiTest, TheTableIsCopiedAndReadOnlyAsFarAsItsSize) {
  test::ScriptedUi scripted, other;
  EXPECT_EQ(nullptr, SetCurrent(&other));  // the platform default was in use
  EXPECT_EQ(&other, SetCurrent(&scripted));
  // A host's table with garbage past message_box: too small, an older host's that ends right after
  // message_box, and a newer host's larger one.
  struct { MiradelUiCallbacks table; void* later[4]; } given;
  const unsigned older = offsetof(MiradelUiCallbacks, message_box) + sizeof(MiradelMessageBoxCallback);
  for (unsigned size : {0u, older - 1, older, static_cast<unsigned>(sizeof given)}) {
    std::memset(&given, 0xCD, sizeof given);
    given.table.size = size;
    given.table.context = &host_;
    given.table.message_box = &HostBox;
    EXPECT_EQ(size >= older ? 1 : 0, MiradelSetUiCallbacks(&given.table)) << size;
    if (size == older) {
      auto* installed = dynamic_cast<CallbackUi*>(&Current());
      ASSERT_NE(nullptr, installed);
      EXPECT_EQ(nullptr, installed->table().reserved_browse_for_folder);
      EXPECT_EQ(nullptr, installed->table().reserved_enable_window);
    }
    std::memset(&given, 0xAB, sizeof given);  // the host reuses its memory
    PlainMessageBox(0, std::to_string(size));
  }
  // The refused ones left the interface in use as it was.
  EXPECT_EQ(2u, scripted.count());
  ASSERT_EQ(2u, host_.calls.size());
  EXPECT_EQ(std::to_string(older), std::get<1>(host_.calls[0]));
  EXPECT_EQ(std::to_string(sizeof given), std::get<1>(host_.calls[1]));

  EXPECT_EQ(1, MiradelSetUiCallbacks(nullptr));
  EXPECT_EQ(&PlatformDefault(), &Current());
}

TEST_F(CallbackUiTest, WithoutMessageBoxThePlatformsOwnBoxAnswers) {
#ifdef _WIN32
  // There the platform's own boxes are the real ones (shown in win32_message_box_test).
  EXPECT_EQ(nullptr, dynamic_cast<NoWindowUi*>(&PlatformDefault()));
#else
  table_.message_box = nullptr;
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  testing::internal::CaptureStderr();
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(5, "the platform answers", "", kYesNo, true));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("the platform answers"));
  EXPECT_TRUE(host_.calls.empty());
#endif
}

TEST_F(CallbackUiTest, TwoThreadsAtOnceEachKeepTheirOwnOwnerFlagAndLabels) {
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  host_.meet = 2;
  host_.answers = {{"copy thread", kIdNo}, {"host thread", kIdYes}};
  int copy_answer = 0, host_answer = 0;
  // The copy thread asks the Retry/Save question...
  g_bRenameRetrySave = 1;
  std::thread copy([&] { copy_answer = RetrySaveMessageBox(100, "copy thread", "", kYesNo | kIconQuestion); });
  {
    std::unique_lock<std::mutex> lock(host_.mutex);
    host_.cv.wait(lock, [&] { return !host_.calls.empty(); });
  }
  // ...and while it is up, the host's thread clears the flag for an ordinary yes/no question.
  g_bRenameRetrySave = 0;
  std::thread host([&] { host_answer = RetrySaveMessageBox(200, "host thread", "Missing ", kYesNo); });
  copy.join();
  host.join();

  EXPECT_EQ(kIdNo, copy_answer);
  EXPECT_EQ(kIdYes, host_answer);
  EXPECT_EQ(host_.calls, (std::vector<Call>{
                             {100, "copy thread", "", kYesNo | kIconQuestion, "&Retry", "&Save", kCentre},
                             {200, "host thread", "Missing ", kYesNo, "(null)", "(null)", kCentre}}));
}

}  // namespace
}  // namespace miradel::ui
