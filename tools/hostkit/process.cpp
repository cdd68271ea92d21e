#include "hostkit/process.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace miradel::hostkit {

namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Takes one line out of buf, without its line end; false when buf holds no complete line.
bool TakeLine(std::string* buf, std::string* line) {
  std::size_t nl = buf->find('\n');
  if (nl == std::string::npos) return false;
  *line = buf->substr(0, nl);
  buf->erase(0, nl + 1);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// Lines are cut out of the child's output alike everywhere; how a chunk of it is waited for and
// read is each platform's.
class LineReadingChild : public ChildProcess {
 public:
  std::string ReadLine(int timeout_ms, bool* ok) final {
    if (ok) *ok = false;
    std::string line;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!TakeLine(&buf_, &line)) {
      char chunk[4096];
      const long n = ReadChunk(chunk, sizeof chunk, deadline);
      if (n < 0) return std::string();
      if (n == 0) {  // end of output: a last line without its line end still counts
        if (buf_.empty()) return std::string();
        line.swap(buf_);
        break;
      }
      buf_.append(chunk, static_cast<std::size_t>(n));
    }
    if (ok) *ok = true;
    return line;
  }

 protected:
  // Up to size bytes of the child's output: how many, 0 at its end, -1 when the deadline passed.
  virtual long ReadChunk(char* chunk, std::size_t size, Clock::time_point deadline) = 0;

 private:
  std::string buf_;
};

std::string DirectoryOf(const std::string& path) {
  std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace

#ifdef _WIN32

namespace {

// One argument quoted so that the C runtime's command-line parser gives it back unchanged.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') out.append(backslashes * 2 + 1, '\\');
    else out.append(backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

class WinChild : public LineReadingChild {
 public:
  WinChild(HANDLE process, HANDLE in, HANDLE out) : process_(process), in_(in), out_(out) {}
  ~WinChild() override {
    if (in_) CloseHandle(in_);
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 10000);
    }
    CloseHandle(out_);
    CloseHandle(process_);
  }

  long ReadChunk(char* chunk, std::size_t size, Clock::time_point deadline) override {
    for (;;) {
      // Anonymous pipes know no timeouts: look before reading, so that ReadFile never blocks.
      DWORD avail = 0;
      if (!PeekNamedPipe(out_, nullptr, 0, nullptr, &avail, nullptr)) return 0;  // the child closed its end
      if (avail == 0) {
        if (MillisLeft(deadline) == 0) return -1;
        Sleep(5);
        continue;
      }
      DWORD got = 0;
      if (ReadFile(out_, chunk, avail < size ? avail : static_cast<DWORD>(size), &got, nullptr) && got > 0) return got;
    }
  }

  void WriteLine(const std::string& line) override {
    if (!in_) return;
    std::string data = line + "\n";
    DWORD written = 0;
    WriteFile(in_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  }

  void CloseInput() override {
    if (in_) CloseHandle(in_);
    in_ = nullptr;
  }

  int Wait(int timeout_ms) override {
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
      Kill();
      return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
  }

  void Kill() override {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 10000);
    }
  }

 private:
  HANDLE process_;
  HANDLE in_;
  HANDLE out_;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  SECURITY_ATTRIBUTES sa{};
  sa.nLength = sizeof sa;
  sa.bInheritHandle = TRUE;
  HANDLE in_read = nullptr, in_write = nullptr, out_read = nullptr, out_write = nullptr;
  if (!CreatePipe(&in_read, &in_write, &sa, 0)) return nullptr;
  if (!CreatePipe(&out_read, &out_write, &sa, 0)) {
    CloseHandle(in_read);
    CloseHandle(in_write);
    return nullptr;
  }
  // Only the child's ends are inherited.
  SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);

  std::string cmd = QuoteArgument(program);
  for (const std::string& a : args) cmd += " " + QuoteArgument(a);
  std::vector<char> cmdline(cmd.begin(), cmd.end());
  cmdline.push_back(0);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in_read;
  si.hStdOutput = out_write;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessA(program.c_str(), cmdline.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &si, &pi);
  CloseHandle(in_read);
  CloseHandle(out_write);
  if (!started) {
    CloseHandle(in_write);
    CloseHandle(out_read);
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return std::make_unique<WinChild>(pi.hProcess, in_write, out_read);
}

std::string SelfPath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

std::string SiblingProgram(const std::string& name) { return DirectoryOf(SelfPath()) + name + ".exe"; }

#else  // POSIX

namespace {

class PosixChild : public LineReadingChild {
 public:
  PosixChild(pid_t pid, int in, int out) : pid_(pid), in_(in), out_(out) {}
  ~PosixChild() override {
    CloseInput();
    Kill();
    ::close(out_);
  }

  long ReadChunk(char* chunk, std::size_t size, Clock::time_point deadline) override {
    for (;;) {
      struct pollfd p = {out_, POLLIN, 0};
      int rc = ::poll(&p, 1, MillisLeft(deadline));
      if (rc < 0 && errno == EINTR) continue;
      if (rc <= 0) return -1;
      ssize_t n = ::read(out_, chunk, size);
      if (n < 0 && errno == EINTR) continue;
      return n < 0 ? 0 : static_cast<long>(n);
    }
  }

  void WriteLine(const std::string& line) override {
    if (in_ < 0) return;
    std::string data = line + "\n";
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
      ssize_t n = ::write(in_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // the child is gone; Wait() will tell
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }

  void CloseInput() override {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
  }

  int Wait(int timeout_ms) override {
    if (reaped_) return status_;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      int st = 0;
      pid_t r = ::waitpid(pid_, &st, WNOHANG);
      if (r == pid_) {
        reaped_ = true;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + (WIFSIGNALED(st) ? WTERMSIG(st) : 0);
        return status_;
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
    if (reaped_) return;
    ::kill(pid_, SIGKILL);
    int st = 0;
    while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    status_ = -1;
  }

 private:
  pid_t pid_;
  int in_;
  int out_;
  bool reaped_ = false;
  int status_ = -1;
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

#endif

}  // namespace miradel::hostkit
