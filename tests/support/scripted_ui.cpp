#include "support/scripted_ui.h"

#include <gtest/gtest.h>

#include "ui/no_window_ui.h"

namespace miradel::test {

void ScriptedUi::QueueAnswer(int answer) {
  std::lock_guard<std::mutex> hold(mutex_);
  answers_.push_back(answer);
}

void ScriptedUi::QueueAnswers(const std::vector<int>& answers) {
  std::lock_guard<std::mutex> hold(mutex_);
  answers_.insert(answers_.end(), answers.begin(), answers.end());
}

void ScriptedUi::SetDefaultAnswer(int answer) {
  std::lock_guard<std::mutex> hold(mutex_);
  has_default_ = true;
  default_answer_ = answer;
}

void ScriptedUi::Hold() {
  std::lock_guard<std::mutex> hold(mutex_);
  held_ = true;
}

void ScriptedUi::Release() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    held_ = false;
  }
  changed_.notify_all();
}

int ScriptedUi::MessageBox(const ui::MessageBoxRequest& request) {
  std::unique_lock<std::mutex> lock(mutex_);
  int answer = 0;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  } else {
    answer = has_default_ ? default_answer_ : ui::DefaultAnswer(request);
  }
  Shown s;
  s.owner = request.owner;
  s.text = request.text;
  s.caption = request.caption;
  s.style = request.style;
  s.centred = request.centre_on_owner;
  s.yes_label = request.yes_label;
  s.no_label = request.no_label;
  s.thread = std::this_thread::get_id();
  s.answer = answer;
  shown_.push_back(std::move(s));
  changed_.notify_all();
  changed_.wait(lock, [this] { return !held_; });
  return answer;
}

std::vector<ScriptedUi::Shown> ScriptedUi::shown() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return shown_;
}

std::size_t ScriptedUi::count() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return shown_.size();
}

bool ScriptedUi::WaitUntilShown(std::size_t n, std::chrono::milliseconds limit) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return shown_.size() >= n; });
}

namespace {

#ifdef _WIN32
// On Windows the platform default shows real boxes, which nobody would press during a test run:
// a test that reaches one by mistake would hang. Unless a test installs its own, the run answers
// without a window, as on POSIX. The tests of the real boxes use the Win32 UI directly.
class NoRealBoxes : public ::testing::Environment {
 public:
  void SetUp() override { previous_ = ui::SetCurrent(&ui_); }
  void TearDown() override { ui::SetCurrent(previous_); }

 private:
  ui::NoWindowUi ui_;
  ui::UserInterface* previous_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_noRealBoxes = ::testing::AddGlobalTestEnvironment(new NoRealBoxes);
#endif

}  // namespace

}  // namespace miradel::test
