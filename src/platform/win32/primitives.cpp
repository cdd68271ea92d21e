// The Win32 user-interface primitives on the system's ANSI functions.
#ifdef _WIN32

#include <windows.h>
#include <commdlg.h>
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

// Moves the box, unchanged in size, to the middle of area, kept inside the desktop's right and
// bottom edges and never above or left of its origin.
void CentreOn(HWND box, const RECT& area) {
  RECT desktop, rect;
  if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(box, &rect)) return;
  const LONG width = rect.right - rect.left;
  const LONG height = rect.bottom - rect.top;
  LONG x = area.left + (area.right - area.left) / 2 - width / 2;
  LONG y = area.top + (area.bottom - area.top) / 2 - height / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  if (x + width > desktop.right) x = desktop.right - width;
  if (y + height > desktop.bottom) y = desktop.bottom - height;
  MoveWindow(box, x, y, width, height, FALSE);
}

void CentreOnOwner(HWND box, HWND owner) {
  RECT own;
  if (GetWindowRect(owner, &own)) CentreOn(box, own);
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

bool ShowFileDialog(const FileDialogCall& call, std::string* path) {
  HWND owner = reinterpret_cast<HWND>(call.owner);
  if (owner && !IsWindow(owner)) owner = nullptr;
  // "Text|*.EXT||" becomes "Text\0*.EXT\0\0"; the string's own terminator ends a filter that
  // lacks the last "|".
  std::string filter = call.filter;
  for (char& c : filter) {
    if (c == '|') c = '\0';
  }
  filter.push_back('\0');
  char file[MAX_PATH] = {};
  call.initial_name.copy(file, sizeof file - 1);
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = call.filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = call.initial_directory.empty() ? nullptr : call.initial_directory.c_str();
  ofn.lpstrDefExt = call.default_extension.empty() ? nullptr : call.default_extension.c_str();
  ofn.Flags = call.options;
  const BOOL chosen = call.save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!chosen || !file[0]) return false;
  if (path) path->assign(file, strnlen(file, sizeof file));
  return true;
}

namespace {

struct DialogCall {
  DialogView* view;
  HWND owner;
};

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* call = reinterpret_cast<DialogCall*>(GetWindowLongPtrA(dialog, DWLP_USER));
  const auto handle = reinterpret_cast<std::intptr_t>(dialog);
  switch (message) {
    case WM_INITDIALOG:
      call = reinterpret_cast<DialogCall*>(lparam);
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      if (call->owner) {
        CentreOnOwner(dialog, call->owner);
      } else {
        // Without an owner the system puts the dialog at the screen's top left corner.
        RECT area;
        if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) CentreOn(dialog, area);
      }
      call->view->Start(handle);
      return TRUE;
    case WM_COMMAND: {
      // Clicks, and IDOK/IDCANCEL from the keyboard or the close box, arrive with code 0; the edit
      // boxes' notifications do not.
      if (!call || HIWORD(wparam) != BN_CLICKED) return FALSE;
      int result = 0;
      if (call->view->Command(handle, LOWORD(wparam), &result)) EndDialog(dialog, result);
      return TRUE;
    }
    case WM_HELP:
      if (call) call->view->Help(handle);
      return FALSE;
    default:
      return FALSE;
  }
}

// The module this code is in: the DLL the host loaded, or the program the library is linked into.
HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&DialogProc), &module);
  return module;
}

}  // namespace

int ShowDialog(unsigned template_id, std::intptr_t owner, DialogView* view) {
  DialogCall call{view, reinterpret_cast<HWND>(owner)};
  if (call.owner && !IsWindow(call.owner)) call.owner = nullptr;
  const INT_PTR result = DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(template_id), call.owner, DialogProc,
                                         reinterpret_cast<LPARAM>(&call));
  return static_cast<int>(result);
}

void SetControlText(std::intptr_t dialog, int id, const std::string& text) {
  SetDlgItemTextA(reinterpret_cast<HWND>(dialog), id, text.c_str());
}

bool IsControlChecked(std::intptr_t dialog, int id) {
  return IsDlgButtonChecked(reinterpret_cast<HWND>(dialog), id) == BST_CHECKED;
}

void SetControlChecked(std::intptr_t dialog, int id, bool checked) {
  CheckDlgButton(reinterpret_cast<HWND>(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

#if defined(__i386__)
namespace {

// The help library's calling convention is stated nowhere, and a cdecl build leaves its four
// arguments on the stack where a stdcall caller expects them gone. esp is kept in esi (callee-saved
// in both) and put back afterwards, so it does not matter which of the two pops them. The arguments
// come from memory through a register: an esp-relative operand would be off after the first push.
// Never inlined nor looked into, so that every caller assumes a plain call that clobbers all it may.
__attribute__((noinline, noipa)) int CallEitherConvention(void* function, const std::uintptr_t (*args)[4]) {
  int result;
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "pushl 12(%2)\n\t"
      "pushl 8(%2)\n\t"
      "pushl 4(%2)\n\t"
      "pushl (%2)\n\t"
      "call *%1\n\t"
      "movl %%esi, %%esp"
      : "=a"(result)
      : "r"(function), "r"(args)
      : "ecx", "edx", "esi", "memory", "cc");
  return result;
}

}  // namespace
#endif

void ShowHelpTopic(std::intptr_t window, const std::string& help_file, int topic) {
  // Kept loaded: a help window it opened may outlive the dialog. Looked for at each call, so that a
  // help library installed meanwhile is found.
  HMODULE library = GetModuleHandleA("hx_help");
  if (!library) library = LoadLibraryA("hx_help");
  if (!library) return;
  auto* display = reinterpret_cast<void*>(GetProcAddress(library, "hx_Help_DisplayContext"));
  if (!display) return;
#if defined(__i386__)
  const std::uintptr_t args[4] = {static_cast<std::uintptr_t>(window),
                                  reinterpret_cast<std::uintptr_t>(help_file.c_str()), 1,
                                  static_cast<std::uintptr_t>(topic)};
  CallEitherConvention(display, &args);
#else
  reinterpret_cast<int (*)(HWND, const char*, int, int)>(display)(reinterpret_cast<HWND>(window), help_file.c_str(),
                                                                 1, topic);
#endif
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
