// The Win32 user-interface primitives on the system's ANSI functions.
#ifdef _WIN32

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#undef MessageBox
#undef LoadString

#include <cstring>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/win32/primitives.h"

namespace miradel::platform::win32 {

namespace {

// What the hook needs of the box its thread is showing. Thread-local: the copy thread and the
// host's thread may each be showing one, and each must be centred and labelled by its own caller.
struct BoxCall {
  HWND owner = nullptr;
  bool centre = false;
  const char* yes_label = nullptr;
  const char* no_label = nullptr;
  HHOOK hook = nullptr;
};
thread_local BoxCall* t_call = nullptr;

bool IsDialogBox(HWND window) {
  char name[16] = {};
  return GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0;
}

// Moves the box, unchanged in size, to the middle of its owner, kept inside the desktop's right
// and bottom edges and never above or left of its origin.
void CentreOnOwner(HWND box, HWND owner) {
  RECT desktop, own, rect;
  if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(owner, &own) || !GetWindowRect(box, &rect)) {
    return;
  }
  const LONG width = rect.right - rect.left;
  const LONG height = rect.bottom - rect.top;
  LONG x = own.left + (own.right - own.left) / 2 - width / 2;
  LONG y = own.top + (own.bottom - own.top) / 2 - height / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  if (x + width > desktop.right) x = desktop.right - width;
  if (y + height > desktop.bottom) y = desktop.bottom - height;
  MoveWindow(box, x, y, width, height, FALSE);
}

LRESULT CALLBACK CbtHook(int code, WPARAM wparam, LPARAM lparam) {
  BoxCall* call = t_call;
  // The box is the first dialog window activated on this thread while MessageBoxA runs; another
  // window activated before it (one of the host's, say) is left alone.
  if (code == HCBT_ACTIVATE && call && call->hook && IsDialogBox(reinterpret_cast<HWND>(wparam))) {
    HWND box = reinterpret_cast<HWND>(wparam);
    if (call->centre && call->owner) CentreOnOwner(box, call->owner);
    if (call->yes_label && GetDlgItem(box, IDYES)) SetDlgItemTextA(box, IDYES, call->yes_label);
    if (call->no_label && GetDlgItem(box, IDNO)) SetDlgItemTextA(box, IDNO, call->no_label);
    UnhookWindowsHookEx(call->hook);
    call->hook = nullptr;
    return 0;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

int ShowMessageBox(const MessageBoxCall& request) {
  BoxCall call;
  call.owner = reinterpret_cast<HWND>(request.owner);
  if (call.owner && !IsWindow(call.owner)) call.owner = nullptr;
  call.centre = request.centre_on_owner && call.owner;
  call.yes_label = request.yes_label;
  call.no_label = request.no_label;

  // A box shown from inside another box's message loop on this thread keeps the outer one's
  // values safe on the stack.
  BoxCall* outer = t_call;
  t_call = &call;
  if (call.centre || call.yes_label || call.no_label) {
    call.hook = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
  }
  const int answer = MessageBoxA(call.owner, request.text ? request.text : "", request.caption, request.style);
  if (call.hook) UnhookWindowsHookEx(call.hook);  // the box never became active
  t_call = outer;
  return answer;
}

BrowseResult BrowseForFolder(std::intptr_t owner, const char* title, unsigned flags, std::string* folder) {
  HWND window = reinterpret_cast<HWND>(owner);
  if (window && !IsWindow(window)) window = nullptr;
  // The browser's tree is a COM object that wants a single-threaded apartment. A thread that is
  // already one (or already another kind) keeps what it is; only our own initialisation is undone.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  BROWSEINFOA info = {};
  info.hwndOwner = window;
  info.pidlRoot = nullptr;
  info.lpszTitle = title ? title : "";
  info.ulFlags = flags;
  BrowseResult result = BrowseResult::kCancelled;
  if (LPITEMIDLIST item = SHBrowseForFolderA(&info)) {
    char path[MAX_PATH] = {};
    result = SHGetPathFromIDListA(item, path) && path[0] ? BrowseResult::kChosen : BrowseResult::kNoPath;
    if (result == BrowseResult::kChosen && folder) folder->assign(path);
    CoTaskMemFree(item);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}

void SetWindowEnabled(std::intptr_t window, bool enable) {
  HWND handle = reinterpret_cast<HWND>(window);
  if (handle && IsWindow(handle)) EnableWindow(handle, enable ? TRUE : FALSE);
}

bool LoadModuleString(void* module, unsigned id, std::string* out) {
  if (!module || id > 0xFFFF) return false;
  // LoadStringA cuts a text that does not fit without saying so; a result that fills the buffer
  // may have been cut, so try again with a larger one (a resource string holds at most 65535
  // UTF-16 units, at most two bytes each in a code page).
  for (int size = 1024; size <= 256 * 1024; size *= 2) {
    std::vector<char> buffer(static_cast<std::size_t>(size));
    const int n = LoadStringA(static_cast<HINSTANCE>(module), id, buffer.data(), size);
    if (n <= 0) return false;
    if (n < size - 1) {
      out->assign(buffer.data(), static_cast<std::size_t>(n));
      return true;
    }
  }
  return false;
}

bool LoadLibraryString(unsigned id, std::string* out) { return LoadModuleString(LibraryModule(), id, out); }

bool FormatWithSystem(const std::string& text, const std::vector<std::string>& inserts, std::size_t max_inserts,
                      std::string* out) {
  // Every number the text may name has an entry, so that the system never reads past the array.
  std::vector<DWORD_PTR> args(max_inserts, reinterpret_cast<DWORD_PTR>(""));
  for (std::size_t i = 0; i < inserts.size() && i < args.size(); ++i) {
    args[i] = reinterpret_cast<DWORD_PTR>(inserts[i].c_str());
  }
  char* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  const DWORD n = FormatMessageA(flags, text.c_str(), 0, 0, reinterpret_cast<char*>(&buffer), 0,
                                 reinterpret_cast<va_list*>(args.data()));
  const bool ok = n > 0 && buffer;
  if (ok) out->assign(buffer, n);
  if (buffer) LocalFree(buffer);
  return ok;
}

}  // namespace miradel::platform::win32

#endif  // _WIN32
