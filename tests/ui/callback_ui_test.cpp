// The port and the host's callback table: which interface is in use, what the plain and the
// Retry/Save boxes ask the host, and its answers coming back, also from two threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
#include "ui/user_interface.h"

namespace miradel::ui {
namespace {

constexpr unsigned kCentre = MIRADEL_UI_CENTRE_ON_OWNER;

// owner, text, caption, style, yes and no labels ("(null)" when the library passed none), flags
using Call = std::tuple<std::intptr_t, std::string, std::string, unsigned, std::string, std::string, unsigned>;

// The fixture is the host: it records each call and answers per text (else `answer_`). No call
// returns before `meet_` of them are inside at once.
class CallbackUiTest : public ::testing::Test {
 protected:
  void TearDown() override { g_bRenameRetrySave = 0; }
  static int MIRADEL_CALL HostBox(void* context, intptr_t owner, const char* text, const char* caption,
                                  unsigned int style, const char* yes, const char* no, unsigned int flags) {
    auto* host = static_cast<CallbackUiTest*>(context);
    std::unique_lock<std::mutex> lock(host->mutex_);
    host->calls_.emplace_back(owner, text, caption, style, yes ? yes : "(null)", no ? no : "(null)", flags);
    host->cv_.notify_all();
    EXPECT_TRUE(host->cv_.wait_for(lock, std::chrono::seconds(60), [&] { return host->calls_.size() >= host->meet_; }))
        << "the other thread's box never came";
    auto it = host->answers_.find(text);
    return it != host->answers_.end() ? it->second : host->answer_;
  }

  test::ScopedUi restore_{nullptr};  // the platform default until a test installs a table
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Call> calls_;
  int answer_ = kIdOk;
  std::map<std::string, int> answers_;
  std::size_t meet_ = 0;
  MiradelUiCallbacks table_{sizeof(MiradelUiCallbacks), this, &HostBox};
};

TEST_F(CallbackUiTest, EachBoxArrivesAsAskedAlsoFromTwoThreadsAtOnceAndOnlyAnAnswerOfItsButtonsComesBack) {
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  answers_ = {{"copy failed", kIdCancel}, {"update failed", kIdNo}, {"continue?", kIdYes}};
  EXPECT_EQ(kIdCancel, PlainMessageBox(0x1234, "copy failed", kOkCancel | kIconStop));
  g_bRenameRetrySave = 1;
  EXPECT_EQ(kIdNo, RetrySaveMessageBox(77, "update failed", "", kYesNo | kIconQuestion));
  g_bRenameRetrySave = 0;
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(78, "continue?", "Missing ", kYesNo | kIconQuestion));
  EXPECT_EQ(calls_, (std::vector<Call>{
                             {0x1234, "copy failed", "Miradel", kOkCancel | kIconStop, "(null)", "(null)", 0},
                             {77, "update failed", "", kYesNo | kIconQuestion, "&Retry", "&Save", kCentre},
                             {78, "continue?", "Missing ", kYesNo | kIconQuestion, "(null)", "(null)", kCentre}}));
  // An answer outside the buttons becomes the default.
  for (int garbage : {12345, -1, 0, static_cast<int>(kIdOk)}) {
    answer_ = garbage;
    EXPECT_EQ(kIdNo, RetrySaveMessageBox(1, "q", "", kYesNo, false)) << garbage;
    EXPECT_EQ(kIdYes, RetrySaveMessageBox(1, "q", "", kYesNo, true)) << garbage;
  }
  answer_ = kIdCancel;
  EXPECT_EQ(kIdOk, PlainMessageBox(1, "q"));  // an OK box unless told otherwise

  calls_.clear();
  meet_ = 2;  // neither box returns before both are up
  int copy_answer = 0;
  std::thread copy([&] { copy_answer = RetrySaveMessageBox(100, "update failed", "", kYesNo | kIconQuestion, true); });
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(200, "continue?", "Missing ", kYesNo, false));
  copy.join();
  EXPECT_EQ(kIdNo, copy_answer);
  std::sort(calls_.begin(), calls_.end());
  EXPECT_EQ(calls_, (std::vector<Call>{{100, "update failed", "", kYesNo | kIconQuestion, "&Retry", "&Save", kCentre},
                                       {200, "continue?", "Missing ", kYesNo, "(null)", "(null)", kCentre}}));
}

TEST_F(CallbackUiTest, TheTableIsCopiedAndReadOnlyAsFarAsItsSizeAndMayLackMessageBox) {
  test::ScriptedUi scripted;
  EXPECT_EQ(nullptr, SetCurrent(&scripted));  // the platform default was in use
  // A host's table with garbage past message_box: too small, an older host's that ends right after
  // message_box, and a newer host's larger one. Each is overwritten as soon as it is installed.
  struct { MiradelUiCallbacks table; void* later[4]; } given;
  const unsigned older = offsetof(MiradelUiCallbacks, message_box) + sizeof(MiradelMessageBoxCallback);
  for (unsigned size : {0u, older - 1, older, static_cast<unsigned>(sizeof given)}) {
    std::memset(&given, 0xCD, sizeof given);
    given.table.size = size;
    given.table.context = this;
    given.table.message_box = &HostBox;
    EXPECT_EQ(size >= older ? 1 : 0, MiradelSetUiCallbacks(&given.table)) << size;
    const auto* installed = dynamic_cast<CallbackUi*>(&Current());
    if (size == older) EXPECT_TRUE(installed && !installed->table().reserved_browse_for_folder);
    std::memset(&given, 0xAB, sizeof given);
    PlainMessageBox(0, std::to_string(size));
  }
  EXPECT_EQ(2u, scripted.count());  // the refused ones left the interface in use as it was
  ASSERT_EQ(2u, calls_.size());
  EXPECT_EQ(std::to_string(older) + "|" + std::to_string(sizeof given),
            std::get<1>(calls_[0]) + "|" + std::get<1>(calls_[1]));
  EXPECT_EQ(1, MiradelSetUiCallbacks(nullptr));
  EXPECT_EQ(&PlatformDefault(), &Current());
#ifndef _WIN32  // there the platform's own boxes are real ones (win32_message_box_test)
  // Without message_box, the platform's own box answers.
  table_.message_box = nullptr;
  ASSERT_EQ(1, MiradelSetUiCallbacks(&table_));
  testing::internal::CaptureStderr();
  EXPECT_EQ(kIdYes, RetrySaveMessageBox(5, "the platform answers", "", kYesNo, true));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("the platform answers"));
  EXPECT_EQ(2u, calls_.size());
#endif
}

}  // namespace
}  // namespace miradel::ui
