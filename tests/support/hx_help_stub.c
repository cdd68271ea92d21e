/* Stands in for the host's help library in the tests of the real dialogs: records each call. */
#include <windows.h>
#include <string.h>

static HWND g_window;
static char g_file[MAX_PATH];
static int g_command, g_topic, g_calls;

__declspec(dllexport) int WINAPI hx_Help_DisplayContext(HWND window, const char* file, int command, int topic) {
  g_window = window;
  lstrcpynA(g_file, file ? file : "(null)", sizeof g_file);
  g_command = command;
  g_topic = topic;
  return ++g_calls;
}

/* The last call's arguments; the result is the number of calls so far. */
__declspec(dllexport) int hx_LastCall(HWND* window, char* file, int* command, int* topic) {
  *window = g_window;
  memcpy(file, g_file, sizeof g_file);
  *command = g_command;
  *topic = g_topic;
  return g_calls;
}
