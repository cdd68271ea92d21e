// On Windows: the DLL's STRINGTABLE holds the compiled-in texts byte for byte, and the portable
// formatter gives what the system's FormatMessageA gives.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#undef LoadString

#include <random>
#include <string>
#include <vector>

#include "control/globals.h"
#include "platform/win32/primitives.h"
#include "ui/format_message.h"
#include "ui/string_table.h"

namespace miradel::ui {
namespace {

TEST(LibraryResourcesTest, TheStringTableHoldsTheCompiledInTextsAndIsReadOnceTheModuleIsKnown) {
  // The DLL the host loads, next to this test program, loaded as data only (none of its code runs).
  char path[MAX_PATH] = {};
  std::string dll(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "miradel.dll";
  HMODULE module = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module) << dll << " error " << GetLastError();
  for (unsigned id : StringIds()) {
    std::string compiled, loaded;
    ASSERT_TRUE(CompiledString(id, &compiled));
    ASSERT_TRUE(platform::win32::LoadModuleString(module, id, &loaded)) << id;
    EXPECT_EQ(compiled, loaded) << id;
  }
  std::string text = "untouched";
  EXPECT_FALSE(platform::win32::LoadModuleString(module, 34, &text));
  EXPECT_FALSE(platform::win32::LoadModuleString(nullptr, 14, &text));
  EXPECT_EQ("untouched", text);

  void* before = platform::LibraryModule();
  platform::SetLibraryModule(nullptr);
  EXPECT_FALSE(platform::win32::LoadLibraryString(kStrRetryOrSaveQuestion, &text));
  platform::SetLibraryModule(module);
  EXPECT_TRUE(platform::win32::LoadLibraryString(kStrFatigueFilesMissingCaption, &text));
  EXPECT_EQ("Fatigue Curve Files Missing ", text);
  EXPECT_EQ("Fatigue Curve Files Missing ", LoadString(kStrFatigueFilesMissingCaption));
  platform::SetLibraryModule(before);
  FreeLibrary(module);
}

// Both formatters on one input: the same result, or both unable to give a non-empty one.
void ExpectSameAsSystem(const std::string& text, const std::vector<std::string>& inserts) {
  SCOPED_TRACE(testing::Message() << "text \"" << text << "\" with " << inserts.size() << " inserts");
  ASSERT_TRUE(SystemCanFormat(text, inserts));
  std::string system, portable;
  const bool system_ok = platform::win32::FormatWithSystem(text, inserts, kMaxInserts, &system);
  ASSERT_TRUE(FormatMessageText(text, inserts, &portable));
  EXPECT_EQ(!portable.empty(), system_ok);  // the system reports an empty result as a failure
  if (system_ok) EXPECT_EQ(portable, system);
}

TEST(FormatAgainstSystemTest, TheNumberedTextsTheEscapesAndGeneratedTextsComeOutAlike) {
  const std::vector<std::string> inserts = {"C:\\models\\wing", "two", "x%1y"};
  for (unsigned id : StringIds()) ExpectSameAsSystem(LoadString(id), inserts);
  // (The cases of string_table_test reach the system through FormatString as well.)
  ExpectSameAsSystem("%1 %2 %3", {});
  ExpectSameAsSystem("%1 %2 %3", {"only one"});

  // Texts made of pieces that meet at every boundary: escapes, numbers, conversions, line breaks.
  const char* pieces[] = {"a", "%", "1", "2", "0", "n", "r", "t", "!", "s", "-", "5", ".",
                          "\n", "\r", " ", "%1", "%2!3s!", "%%", "%1!-2.1s!", "9"};
  std::mt19937 random(20240611u);
  std::uniform_int_distribution<std::size_t> piece(0, sizeof pieces / sizeof pieces[0] - 1);
  std::uniform_int_distribution<int> length(0, 12);
  int compared = 0;
  for (int i = 0; i < 4000 && !HasFailure(); ++i) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += pieces[piece(random)];
    if (!SystemCanFormat(text, inserts)) continue;
    ExpectSameAsSystem(text, inserts);
    ++compared;
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
}  // namespace miradel::ui

#endif  // _WIN32
