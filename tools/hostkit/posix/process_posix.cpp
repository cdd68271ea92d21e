// Child processes on POSIX: posix_spawn with a pipe for the output.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "hostkit/line_reading_child.h"

extern char** environ;

namespace miradel::hostkit {

namespace {

class PosixChild : public LineReadingChild {
 public:
  PosixChild(pid_t pid, int in, int out) : m_pid(pid), m_in(in), m_out(out) {}
  ~PosixChild() override {
    CloseInput();
    Kill();
    ::close(m_out);
  }

  long ReadChunk(char* chunk, std::size_t size, Clock::time_point deadline) override {
    for (;;) {
      struct pollfd p = {m_out, POLLIN, 0};
      int rc = ::poll(&p, 1, MillisLeft(deadline));
      if (rc < 0 && errno == EINTR) continue;
      if (rc <= 0) return -1;
      ssize_t n = ::read(m_out, chunk, size);
      if (n < 0 && errno == EINTR) continue;
      return n < 0 ? 0 : static_cast<long>(n);
    }
  }

  void WriteLine(const std::string& line) override {
    if (m_in < 0) return;
    std::string data = line + "\n";
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
      ssize_t n = ::write(m_in, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // the child is gone; Wait() will tell
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }

  void CloseInput() override {
    if (m_in >= 0) ::close(m_in);
    m_in = -1;
  }

  int Wait(int timeout_ms) override {
    if (m_reaped) return m_status;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      int st = 0;
      pid_t r = ::waitpid(m_pid, &st, WNOHANG);
      if (r == m_pid) {
        m_reaped = true;
        m_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + (WIFSIGNALED(st) ? WTERMSIG(st) : 0);
        return m_status;
      }
      if (r < 0 && errno != EINTR) return -1;
      if (MillisLeft(deadline) == 0) {
        Kill();
        return -1;
      }
      ::usleep(2000);
    }
  }

  void Kill() override {
    if (m_reaped) return;
    ::kill(m_pid, SIGKILL);
    int st = 0;
    while (::waitpid(m_pid, &st, 0) < 0 && errno == EINTR) {
    }
    m_reaped = true;
    m_status = -1;
  }

 private:
  pid_t m_pid;
  int m_in;
  int m_out;
  bool m_reaped = false;
  int m_status = -1;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  // A child that dies while we write to it must not take the test binary along.
  static std::once_flag ignore_sigpipe;
  std::call_once(ignore_sigpipe, [] { ::signal(SIGPIPE, SIG_IGN); });

  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return nullptr;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);  // dup2 clears close-on-exec on 0 and 1
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);

  std::vector<std::string> all;
  all.push_back(program);
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  pid_t pid = 0;
  int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  if (rc != 0) {
    ::close(in[1]);
    ::close(out[0]);
    return nullptr;
  }
  return std::make_unique<PosixChild>(pid, in[1], out[0]);
}

std::string SelfPath() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

std::string SiblingProgram(const std::string& name) { return DirectoryOf(SelfPath()) + name; }

}  // namespace miradel::hostkit
