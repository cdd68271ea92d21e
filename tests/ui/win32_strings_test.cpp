// On Windows: the DLL's STRINGTABLE holds the compiled-in texts byte for byte, and the portable
// formatter gives what the system's FormatMessageA gives.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/env.h"
#include "ui/format_message.h"
#include "ui/string_table.h"
#ifdef _WIN32
#include <windows.h>
#undef LoadString

#include "platform/win32/primitives.h"
#endif

namespace miradel::ui {
namespace {

TEST(Win32StringsTest, TheResourcesAndTheSystemsFormatterAgreeWithTheCompiledInOnes) {
#ifndef _WIN32
  GTEST_SKIP() << "resources and the system's formatter are Windows only";
#else
  // The DLL the host loads, next to this test program, loaded as data only (none of its code runs).
  char path[MAX_PATH] = {};
  std::string dll(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "miradel.dll";
  HMODULE module = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module) << dll << " error " << GetLastError();
  for (unsigned id : StringIds()) {
    std::string compiled, loaded;
    EXPECT_TRUE(CompiledString(id, &compiled)) << id;
    EXPECT_TRUE(platform::win32::LoadModuleString(module, id, &loaded)) << id;
    EXPECT_EQ(compiled, loaded) << id;
  }
  std::string text = "untouched";
  void* before = platform::LibraryModule();
  platform::SetLibraryModule(nullptr);
  EXPECT_FALSE(platform::win32::LoadModuleString(module, 34, &text));
  EXPECT_FALSE(platform::win32::LoadLibraryString(kStrRetryOrSaveQuestion, &text));
  EXPECT_EQ("untouched", text);
  platform::SetLibraryModule(module);
  EXPECT_TRUE(platform::win32::LoadLibraryString(kStrFatigueFilesMissingCaption, &text));
  EXPECT_EQ("Fatigue Curve Files Missing ", text);
  EXPECT_EQ("Fatigue Curve Files Missing ", LoadString(kStrFatigueFilesMissingCaption));
  platform::SetLibraryModule(before);
  FreeLibrary(module);

  // The numbered texts, missing inserts, and texts of pieces that meet at every boundary (escapes,
  // numbers, conversions, line breaks): both formatters give the same, or both fail to give a
  // non-empty result (the system reports an empty result as a failure).
  const std::vector<std::string> inserts = {"C:\\models\\wing", "two", "x%1y"};
  std::vector<std::pair<std::string, std::vector<std::string>>> texts = {{"%1 %2 %3", {}}, {"%1 %2 %3", {"one"}}};
  for (unsigned id : StringIds()) texts.push_back({LoadString(id), inserts});
  const char* pieces[] = {"a", "%", "1", "2", "0", "n", "r", "t", "!", "s", "-", "5", ".",
                          "\n", "\r", " ", "%1", "%2!3s!", "%%", "%1!-2.1s!", "9"};
  std::mt19937 random(20240611u);
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    for (int n = static_cast<int>(random() % 13); n > 0; --n) text += pieces[random() % (sizeof pieces / sizeof *pieces)];
    if (SystemCanFormat(text, inserts)) texts.push_back({text, inserts});
  }
  EXPECT_GT(texts.size(), 1000u);
  for (const auto& [text, given] : texts) {
    std::string system, portable;
    ASSERT_TRUE(SystemCanFormat(text, given)) << text;
    ASSERT_TRUE(FormatMessageText(text, given, &portable)) << text;
    const bool system_ok = platform::win32::FormatWithSystem(text, given, kMaxInserts, &system);
    ASSERT_EQ(!portable.empty(), system_ok) << text;
    if (system_ok) ASSERT_EQ(portable, system) << text;
  }
#endif
}

}  // namespace
}  // namespace miradel::ui
