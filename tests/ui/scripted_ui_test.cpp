// The tests' own user interface: queued answers, a default, the record, and waiting for boxes.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/scripted_ui.h"

namespace miradel::test {
namespace {

ui::MessageBoxRequest Box(const std::string& text, unsigned style = ui::kOk) {
  ui::MessageBoxRequest r;
  r.text = text;
  r.style = style;
  return r;
}

TEST(ScriptedUiTest, AnswersFromTheQueueThenTheDefaultAndRecordsEverything) {
  ScriptedUi ui;
  ui.QueueAnswers({ui::kIdRetry, ui::kIdIgnore});
  ui::MessageBoxRequest full = Box("text", ui::kAbortRetryIgnore | ui::kIconQuestion);
  full.owner = 0x5678;
  full.caption = "cap";
  full.centre_on_owner = true;
  full.yes_label = "&Retry";
  full.no_label = "&Save";
  EXPECT_EQ(ui::kIdRetry, ui.MessageBox(full));
  EXPECT_EQ(ui::kIdIgnore, ui.MessageBox(Box("b", ui::kAbortRetryIgnore)));
  EXPECT_EQ(ui::kIdAbort, ui.MessageBox(Box("c", ui::kAbortRetryIgnore)));  // the box's own default
  ui.SetDefaultAnswer(ui::kIdYes);
  EXPECT_EQ(ui::kIdYes, ui.MessageBox(Box("d", ui::kYesNo)));

  const auto shown = ui.shown();
  ASSERT_EQ(4u, shown.size());
  EXPECT_EQ(0x5678, shown[0].owner);
  EXPECT_EQ("text", shown[0].text);
  EXPECT_EQ("cap", shown[0].caption);
  EXPECT_EQ(ui::kAbortRetryIgnore | ui::kIconQuestion, shown[0].style);
  EXPECT_TRUE(shown[0].centred);
  EXPECT_EQ("&Retry", shown[0].yes_label);
  EXPECT_EQ("&Save", shown[0].no_label);
  EXPECT_EQ(std::this_thread::get_id(), shown[0].thread);
  EXPECT_FALSE(shown[1].centred);
  EXPECT_EQ(ui::kIdYes, shown[3].answer);
}

TEST(ScriptedUiTest, HeldBoxesOfManyThreadsAreAllRecordedBeforeAnyIsAnswered) {
  ScriptedUi ui;
  ui.Hold();
  std::vector<int> answers(8, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { answers[i] = ui.MessageBox(Box(std::to_string(i))); });
  ASSERT_TRUE(ui.WaitUntilShown(8));
  for (int a : answers) EXPECT_EQ(0, a);
  ui.Release();
  for (auto& t : threads) t.join();
  for (int a : answers) EXPECT_EQ(ui::kIdOk, a);
  EXPECT_EQ(8u, ui.count());
  EXPECT_FALSE(ui.WaitUntilShown(9, std::chrono::milliseconds(1)));
}

}  // namespace
}  // namespace miradel::test
