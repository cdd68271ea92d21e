// A stand-in for the host's help library, built once for each calling convention HX_CALL names: it
// counts its calls and describes the last one for hx_stub_last.
#include <stdio.h>
#include <windows.h>

static int calls;
static char last[400];

__declspec(dllexport) int HX_CALL hx_Help_DisplayContext(HWND window, const char* help_file, int command, int topic) {
  snprintf(last, sizeof last, "%d %lx %.300s %d %d", ++calls, (unsigned long)(ULONG_PTR)window, help_file, command,
           topic);
  return calls;
}

__declspec(dllexport) const char* __cdecl hx_stub_last(void) { return last; }
