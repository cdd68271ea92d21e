// The tests' own user interface: queued answers, a default, the record, and holding boxes.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/scripted_ui.h"

namespace miradel::test {
namespace {

TEST(ScriptedUiTest, AnswersFromTheQueueThenTheDefaultAndRecordsEverything) {
  ScriptedUi ui;
  ui.QueueAnswers({ui::kIdRetry, ui::kIdIgnore});
  EXPECT_EQ(ui::kIdRetry,
            ui.MessageBox({0x5678, "text", "cap", ui::kAbortRetryIgnore | ui::kIconQuestion, true, "&Retry", "&Save"}));
  EXPECT_EQ(ui::kIdIgnore, ui.MessageBox({0, "b", "", ui::kAbortRetryIgnore}));
  EXPECT_EQ(ui::kIdAbort, ui.MessageBox({0, "c", "", ui::kAbortRetryIgnore}));  // the box's own default
  ui.SetDefaultAnswer(ui::kIdYes);
  EXPECT_EQ(ui::kIdYes, ui.MessageBox({0, "d", "", ui::kYesNo}));

  const auto shown = ui.shown();
  ASSERT_EQ(4u, shown.size());
  const ScriptedUi::Shown& s = shown[0];
  EXPECT_EQ(0x5678, s.owner);
  EXPECT_EQ("text|cap|&Retry|&Save", s.text + "|" + s.caption + "|" + s.yes_label + "|" + s.no_label);
  EXPECT_EQ(ui::kAbortRetryIgnore | ui::kIconQuestion, s.style);
  EXPECT_TRUE(s.centred);
  EXPECT_EQ(std::this_thread::get_id(), s.thread);
  EXPECT_FALSE(shown[1].centred);
  EXPECT_EQ(ui::kIdYes, shown[3].answer);
}

TEST(ScriptedUiTest, HeldBoxesOfManyThreadsAreAllRecordedBeforeAnyIsAnswered) {
  ScriptedUi ui;
  ui.Hold();
  std::vector<int> answers(8, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { answers[i] = ui.MessageBox({0, std::to_string(i)}); });
  ASSERT_TRUE(ui.WaitUntilShown(8));
  EXPECT_EQ(answers, std::vector<int>(8, 0));
  ui.Release();
  for (auto& t : threads) t.join();
  EXPECT_EQ(answers, std::vector<int>(8, ui::kIdOk));
  EXPECT_FALSE(ui.WaitUntilShown(9, std::chrono::milliseconds(1)));
}

}  // namespace
}  // namespace miradel::test
