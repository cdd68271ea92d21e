// Child processes on Windows: CreateProcess with a pipe for the output.
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "hostkit/line_reading_child.h"

namespace miradel::hostkit {

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
  WinChild(HANDLE process, HANDLE in, HANDLE out) : m_process(process), m_in(in), m_out(out) {}
  ~WinChild() override {
    if (m_in) CloseHandle(m_in);
    if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
      TerminateProcess(m_process, 1);
      WaitForSingleObject(m_process, 10000);
    }
    CloseHandle(m_out);
    CloseHandle(m_process);
  }

  long ReadChunk(char* chunk, std::size_t size, Clock::time_point deadline) override {
    for (;;) {
      // Anonymous pipes know no timeouts: look before reading, so that ReadFile never blocks.
      DWORD avail = 0;
      if (!PeekNamedPipe(m_out, nullptr, 0, nullptr, &avail, nullptr)) return 0;  // the child closed its end
      if (avail == 0) {
        if (MillisLeft(deadline) == 0) return -1;
        Sleep(5);
        continue;
      }
      DWORD got = 0;
      if (ReadFile(m_out, chunk, avail < size ? avail : static_cast<DWORD>(size), &got, nullptr) && got > 0) return got;
    }
  }

  void WriteLine(const std::string& line) override {
    if (!m_in) return;
    std::string data = line + "\n";
    DWORD written = 0;
    WriteFile(m_in, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  }

  void CloseInput() override {
    if (m_in) CloseHandle(m_in);
    m_in = nullptr;
  }

  int Wait(int timeout_ms) override {
    if (WaitForSingleObject(m_process, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
      Kill();
      return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    return static_cast<int>(code);
  }

  void Kill() override {
    if (WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT) {
      TerminateProcess(m_process, 1);
      WaitForSingleObject(m_process, 10000);
    }
  }

 private:
  HANDLE m_process;
  HANDLE m_in;
  HANDLE m_out;
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

}  // namespace miradel::hostkit
