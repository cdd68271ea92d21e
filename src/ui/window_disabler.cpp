#include "ui/window_disabler.h"

#include <atomic>
#include <chrono>
#include <system_error>

#include "ui/user_interface.h"
#include "ui/window_disabler_timings.h"

namespace miradel::ui {

namespace {
constexpr std::chrono::milliseconds kProductInterval{700};
std::atomic<long long> g_intervalMs{kProductInterval.count()};
}  // namespace

void WindowDisablerTimings::SetInterval(std::chrono::milliseconds interval) { g_intervalMs = interval.count(); }
void WindowDisablerTimings::Restore() { g_intervalMs = kProductInterval.count(); }

WindowDisabler::WindowDisabler(std::intptr_t window) : window_(window) {
  if (!window_) return;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to be had: the window stays as the host left it, and Stop has nothing to undo.
  }
}

WindowDisabler::~WindowDisabler() { Stop(); }

void WindowDisabler::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    Current().EnableWindow(window_, false);
    lock.lock();
    wake_.wait_for(lock, std::chrono::milliseconds(g_intervalMs.load()), [this] { return stopping_; });
  }
}

void WindowDisabler::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  Current().EnableWindow(window_, true);
}

}  // namespace miradel::ui
