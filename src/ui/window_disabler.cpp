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

WindowDisabler::WindowDisabler(std::intptr_t window) : m_window(window) {
  if (!m_window) return;
  try {
    m_thread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to be had: the window stays as the host left it, and Stop has nothing to undo.
  }
}

WindowDisabler::~WindowDisabler() { Stop(); }

void WindowDisabler::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_stopping) {
    lock.unlock();
    Current().EnableWindow(m_window, false);
    lock.lock();
    m_wake.wait_for(lock, std::chrono::milliseconds(g_intervalMs.load()), [this] { return m_stopping; });
  }
}

void WindowDisabler::Stop() {
  if (!m_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  m_thread.join();
  Current().EnableWindow(m_window, true);
}

}  // namespace miradel::ui
