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
#include "platform/win32/ui_win32.h"
#include "ui/format_message.h"
#include "ui/string_table.h"

namespace miradel::ui {
namespace {

// The DLL the host loads, next to this test program, loaded as data only (none of its code runs).
class LibraryResources : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    ASSERT_GT(n, 0u);
    std::string dll(path, n);
    dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "miradel.dll";
    module_ = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module_) << dll << " error " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

TEST_F(LibraryResources, TheStringTableHoldsTheCompiledInTextsByteForByte) {
  ASSERT_FALSE(StringIds().empty());
  for (unsigned id : StringIds()) {
    SCOPED_TRACE(id);
    std::string compiled, loaded;
    ASSERT_TRUE(CompiledString(id, &compiled));
    ASSERT_TRUE(platform::win32::LoadModuleString(module_, id, &loaded));
    EXPECT_EQ(compiled, loaded);
  }
  std::string none = "untouched";
  EXPECT_FALSE(platform::win32::LoadModuleString(module_, 1, &none));
  EXPECT_FALSE(platform::win32::LoadModuleString(module_, 34, &none));
  EXPECT_FALSE(platform::win32::LoadModuleString(nullptr, 14, &none));
  EXPECT_EQ("untouched", none);
}

TEST_F(LibraryResources, LoadStringReadsTheLibrarysModuleOnceItIsKnown) {
  void* before = TheApp().ModuleHandle();
  std::string text;
  TheApp().SetModuleHandle(nullptr);
  EXPECT_FALSE(platform::win32::LoadLibraryString(kStrRetryOrSaveQuestion, &text));
  TheApp().SetModuleHandle(module_);
  EXPECT_TRUE(platform::win32::LoadLibraryString(kStrRetryOrSaveQuestion, &text));
  EXPECT_EQ(LoadString(kStrRetryOrSaveQuestion), text);
  EXPECT_EQ("Fatigue Curve Files Missing ", LoadString(kStrFatigueFilesMissingCaption));
  TheApp().SetModuleHandle(before);
}

// Both formatters on one input: the same result, or both unable to give a non-empty one.
void ExpectSameAsSystem(const std::string& text, const std::vector<std::string>& inserts) {
  SCOPED_TRACE(testing::Message() << "text \"" << text << "\" with " << inserts.size() << " inserts");
  ASSERT_TRUE(SystemCanFormat(text, inserts));
  std::string system, portable;
  const bool system_ok = platform::win32::FormatWithSystem(text, inserts, &system);
  const bool portable_ok = FormatMessageText(text, inserts, &portable);
  ASSERT_TRUE(portable_ok);
  // The system reports an empty result as a failure.
  EXPECT_EQ(!portable.empty(), system_ok);
  if (system_ok) EXPECT_EQ(portable, system);
}

TEST(FormatAgainstSystemTest, TheNumberedTextsAndTheEscapesComeOutAlike) {
  for (unsigned id : StringIds()) ExpectSameAsSystem(LoadString(id), {"C:\\models\\wing"});
  const std::vector<std::string> twelve = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten", "11", "twelve"};
  const char* texts[] = {
      "%1 and %2",      "%2%1",           "%12|%100",        "%9 %10 %99",     "100%% sure%.%!% x",
      "a%nb%rc%td",     "kept%0dropped",  "%q%,%A%z%-",      "a\nb\rc\r\nd\n\re", "%\nx%\r",
      "%\r\nz",         "[%1!5s!][%1!-5s!][%1!.2s!][%1!4.1s!][%1!s!]",   "\r\n\r\n",  "%01",  "a%0",
      "%11%1%11",       "tab\tstays",     "%n%r%t",          "%1!-10.4s!|",    "%%1!s!",
  };
  for (const char* t : texts) ExpectSameAsSystem(t, twelve);
  ExpectSameAsSystem("%1 %2 %3", {});
  ExpectSameAsSystem("%1 %2 %3", {"only one"});
}

TEST(FormatAgainstSystemTest, GeneratedTextsComeOutAlike) {
  // Pieces that meet at every boundary: escapes, numbers, conversions, line breaks.
  const char* pieces[] = {"a", "%", "1", "2", "0", "n", "r", "t", "!", "s", "-", "5", ".",
                          "\n", "\r", " ", "%1", "%2!3s!", "%%", "%1!-2.1s!", "9"};
  std::mt19937 random(20240611u);
  std::uniform_int_distribution<std::size_t> piece(0, sizeof pieces / sizeof pieces[0] - 1);
  std::uniform_int_distribution<int> length(0, 12);
  const std::vector<std::string> inserts = {"one", "two", "x%1y"};
  int compared = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += pieces[piece(random)];
    if (!SystemCanFormat(text, inserts)) continue;
    ExpectSameAsSystem(text, inserts);
    ++compared;
    if (HasFailure()) break;
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
}  // namespace miradel::ui

#endif  // _WIN32
