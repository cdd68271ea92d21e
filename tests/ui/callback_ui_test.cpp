// The host's callback table: installed through the extension export, it receives exactly what
// the library asks and its answers come back, also from two threads at once.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "miradel.h"
#include "support/scripted_ui.h"
#include "ui/callback_ui.h"
#include "ui/user_interface.h"

namespace miradel::ui {
namespace {

struct Call {
  std::intptr_t owner;
  std::string text, caption;
  unsigned style;
  const char* yes;  // "(null)" when the library passed none
  const char* no;
  std::string yes_text, no_text;
  unsigned flags;
};

// The host: records each call and answers per text (else `answer`). With `meet` set, no call
// returns before that many are inside at once.
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
  host->calls.push_back({owner, text, caption, style, yes ? "" : "(null)", no ? "" : "(null)", yes ? yes : "",
                         no ? no : "", flags});
  host->cv.notify_all();
  host->cv.wait(lock, [&] { return host->calls.size() >= host->meet; });
  auto it = host->answers.find(text);
  return it != host->answers.end() ? it->second : host->answer;
}

class CallbackUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetCurrent(nullptr);
    table_.size = sizeof table_;
    table_.context = &host_;
    table_.message_box = &HostBox;
  }
  void TearDown() override {
    g_bRenameRetrySave = 0;
    SetCurrent(previous_);
  }
  Host host_;
  MiradelUiCallbacks table_{};
  UserInterface* previous_ = nullptr;
};

TEST_F(CallbackUiTest, EachBoxArrivesAsAskedAndItsAnswerComesBack) {
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  host_.answers = {{"copy failed", kIdCancel}, {"update failed", kIdNo}, {"continue?", kIdYes}};
  EXPECT_EQ(kIdCancel, PlainMessageBox(0x1234, "copy failed", kOkCancel | kIconStop));
  g_bRenameRetrySave = 1;
  EXPECT_EQ(kIdNo, RetrySaveMessageBox(77, "update failed", "", kYesNo | kIconQuestion));
  g_bRenameRetrySave = 0;
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(78, "continue?", "Fatigue Curve Files Missing ", kYesNo | kIconQuestion));

  ASSERT_EQ(3u, host_.calls.size());
  const Call& plain = host_.calls[0];
  EXPECT_EQ(0x1234, plain.owner);
  EXPECT_EQ("Miradel", plain.caption);
  EXPECT_EQ(kOkCancel | kIconStop, plain.style);
  EXPECT_STREQ("(null)", plain.yes);
  EXPECT_STREQ("(null)", plain.no);
  EXPECT_EQ(0u, plain.flags);
  const Call& save = host_.calls[1];
  EXPECT_EQ(77, save.owner);
  EXPECT_EQ("", save.caption);
  EXPECT_EQ(kYesNo | kIconQuestion, save.style);
  EXPECT_EQ("&Retry", save.yes_text);
  EXPECT_EQ("&Save", save.no_text);
  EXPECT_EQ(static_cast<unsigned>(MIRADEL_UI_CENTRE_ON_OWNER), save.flags);
  const Call& ordinary = host_.calls[2];
  EXPECT_EQ(78, ordinary.owner);
  EXPECT_EQ("Fatigue Curve Files Missing ", ordinary.caption);
  EXPECT_STREQ("(null)", ordinary.yes);
  EXPECT_STREQ("(null)", ordinary.no);
  EXPECT_EQ(static_cast<unsigned>(MIRADEL_UI_CENTRE_ON_OWNER), ordinary.flags);
}

TEST_F(CallbackUiTest, AnAnswerOutsideTheButtonsBecomesTheDefault) {
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  for (int garbage : {12345, -1, 0, static_cast<int>(kIdOk)}) {
    host_.answer = garbage;
    EXPECT_EQ(kIdNo, RetrySaveMessageBox(1, "q", "", kYesNo, false)) << garbage;
    EXPECT_EQ(kIdYes, RetrySaveMessageBox(1, "q", "", kYesNo, true)) << garbage;
  }
  host_.answer = kIdCancel;
  EXPECT_EQ(kIdOk, PlainMessageBox(1, "q"));
}

TEST_F(CallbackUiTest, TheTableIsCopiedAndReadOnlyAsFarAsItsSize) {
  test::ScriptedUi scripted;
  SetCurrent(&scripted);
  MiradelUiCallbacks small = table_;
  for (unsigned size : {0u, static_cast<unsigned>(offsetof(MiradelUiCallbacks, message_box))}) {
    small.size = size;
    EXPECT_EQ(0, MiradelSetUiCallbacks(&small)) << size;
  }
  EXPECT_EQ(&scripted, &Current());  // refused: the interface in use stays

  // An older host's table ends right after message_box; the bytes after it are not read.
  MiradelUiCallbacks older;
  std::memset(&older, 0xCD, sizeof older);
  older.size = static_cast<unsigned>(offsetof(MiradelUiCallbacks, message_box) + sizeof older.message_box);
  older.context = &host_;
  older.message_box = &HostBox;
  ASSERT_EQ(1, MiradelSetUiCallbacks(&older));
  auto* installed = dynamic_cast<CallbackUi*>(&Current());
  ASSERT_NE(nullptr, installed);
  EXPECT_EQ(nullptr, installed->table().reserved_browse_for_folder);
  EXPECT_EQ(nullptr, installed->table().reserved_enable_window);
  std::memset(&older, 0xAB, sizeof older);  // the host reuses its memory
  const std::string huge(1 << 20, 'x');
  EXPECT_EQ(kIdOk, PlainMessageBox(0, huge));

  // A newer host's larger table is accepted; the known part is used.
  struct {
    MiradelUiCallbacks table;
    void* later[4];
  } newer{table_, {}};
  newer.table.size = sizeof newer;
  ASSERT_EQ(1, MiradelSetUiCallbacks(&newer.table));
  PlainMessageBox(0, "newer");
  ASSERT_EQ(2u, host_.calls.size());
  EXPECT_EQ(huge, host_.calls[0].text);
  EXPECT_EQ("newer", host_.calls[1].text);
  EXPECT_EQ(0u, scripted.count());

  EXPECT_EQ(1, MiradelSetUiCallbacks(nullptr));
  EXPECT_EQ(&PlatformDefault(), &Current());
}

#ifndef _WIN32
// (On Windows the platform default is a real box; those are tested in win32_message_box_test.)
TEST_F(CallbackUiTest, ATableWithoutMessageBoxLeavesBoxesToThePlatform) {
  table_.message_box = nullptr;
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  testing::internal::CaptureStderr();
  const int answer = RetrySaveMessageBox(5, "the platform answers", "", kYesNo, true);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(kIdYes, answer);
  EXPECT_NE(std::string::npos, err.find("the platform answers"));
  EXPECT_TRUE(host_.calls.empty());
}
#endif

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
  ASSERT_EQ(2u, host_.calls.size());
  const Call& c = host_.calls[0];
  const Call& h = host_.calls[1];
  EXPECT_EQ("copy thread", c.text);
  EXPECT_EQ(100, c.owner);
  EXPECT_EQ("&Retry", c.yes_text);
  EXPECT_EQ("&Save", c.no_text);
  EXPECT_EQ("host thread", h.text);
  EXPECT_EQ(200, h.owner);
  EXPECT_EQ("Missing ", h.caption);
  EXPECT_STREQ("(null)", h.yes);
  EXPECT_STREQ("(null)", h.no);
}

}  // namespace
}  // namespace miradel::ui
