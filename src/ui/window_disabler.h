// Keeps the host's window disabled while the copy thread asks a question: the host cannot then be
// used (or closed) under a box the person has not answered yet. The host may enable its window
// again at any time, so it is disabled again at an interval until the question is over.
//
// On Windows, enabling a window of another thread waits until that thread handles the message: the
// window's own thread must keep handling its messages while a disabler runs and while it stops,
// never wait plainly for the thread that stops it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace miradel::ui {

class WindowDisabler {
 public:
  // A null window: nothing is done, now or at Stop. Otherwise a thread of its own disables the
  // window through Current(), at once and then every interval (700 ms), until Stop.
  explicit WindowDisabler(std::intptr_t window);
  ~WindowDisabler();  // Stop
  WindowDisabler(const WindowDisabler&) = delete;
  WindowDisabler& operator=(const WindowDisabler&) = delete;

  // Ends the disabling thread, waiting for it, then enables the window once. Later calls do nothing.
  // Called by the thread that made it (or one at a time).
  void Stop();

 private:
  void Run();

  const std::intptr_t m_window;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stopping = false;
  std::thread m_thread;
};

}  // namespace miradel::ui
