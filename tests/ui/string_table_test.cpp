// The numbered texts and the filling of their inserts. On Windows also: the DLL's STRINGTABLE holds
// the compiled-in texts byte for byte, and the portable formatter gives what the system's
// FormatMessageA gives.
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

// Each listed id has its text, by either lookup; other ids have none and leave the output alone.
TEST(StringTableTest, ListedIdsHaveTheirTextAndOtherIdsNone) {
  for (unsigned id : StringIds()) {
    std::string compiled;
    EXPECT_TRUE(CompiledString(id, &compiled)) << id;
    EXPECT_FALSE(compiled.empty()) << id;
    EXPECT_EQ(LoadString(id), compiled) << id;
  }
  std::string out = "untouched";
  for (unsigned id : {0u, 1u, 4u, 34u, 70000u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(CompiledString(id, &out)) << id;
    EXPECT_EQ(LoadString(id), "") << id;
  }
  EXPECT_EQ("untouched", out);
  // An insert is not formatted again, and one not given is empty.
  EXPECT_EQ("You can continue working with the 'a%1b' model", FormatString(kStrContinueWorkingQuoted, "a%1b"));
  EXPECT_EQ("You can continue working with the  model", FormatString(kStrContinueWorking));
}

struct Case { std::string text; std::vector<std::string> inserts; std::string expected; };

// What the platform's formatter gives; the portable one must give the same.
TEST(FormatStringTest, HonoursTheFormattersEscapesAndLineBreaks) {
  const Case cases[] = {
      {"%2%1 and %1", {"a", "b"}, "ba and a"},
      {"%12|%100", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten", "11", "twelve"}, "twelve|ten0"},
      {"%9 %10 %99", {"x"}, "  "}, {"100%% sure%.%!% x%q%,", {}, "100% sure.! xq,"},
      {"a%nb%rc%td", {}, "a\r\nb\rc\td"}, {"kept%0dropped %1", {"x"}, "kept"}, {"%0", {}, ""},
      {"a\nb\rc\r\nd\n\re", {}, "a\r\nb\r\nc\r\nd\r\n\r\ne"}, {"%\nx%\r", {}, "\nx\r"},
      {"[%1!5s!][%1!-5s!][%1!.2s!][%1!4.1s!][%1!s!]", {"abc"}, "[  abc][abc  ][ab][   a][abc]"},
      {"[%1!x!]", {"abc"}, "[abc]"},  // a conversion that is not for strings inserts the text
      {"", {"a"}, ""},
  };
  for (const Case& c : cases) {
    std::string portable;
    EXPECT_TRUE(FormatMessageText(c.text, c.inserts, &portable)) << c.text;
    EXPECT_EQ(c.expected, portable) << c.text;
    EXPECT_EQ(c.expected, FormatString(c.text, c.inserts)) << c.text;
  }
}

TEST(FormatStringTest, OnlySafeTextsAreLeftToTheSystemAndBrokenOnesComeBackAsTheyAre) {
  for (const char* text : {"50%", "%1!s", "a %2!-3s"}) {
    std::string out = "untouched";
    EXPECT_FALSE(FormatMessageText(text, {"x", "y"}, &out)) << text;
    EXPECT_FALSE(SystemCanFormat(text, {"x", "y"})) << text;
    EXPECT_EQ("untouched", out);
    EXPECT_EQ(text, FormatString(text, {"x", "y"}));
  }
  EXPECT_TRUE(SystemCanFormat("%1 %2!-12.3s! %%", {"a"}));
  const Case refused[] = {{"%1!*s!"}, {"%1!d!"}, {"%1!ls!"}, {"%1!05s!"}, {"%1!99999s!"}, {"%1!!"},
                          {std::string("a\0b", 3)}, {"%1", {std::string("a\0b", 3)}}, {std::string(40000, 'x')},
                          {"%1%1", {std::string(20000, 'x')}}};
  for (const Case& c : refused) EXPECT_FALSE(SystemCanFormat(c.text, c.inserts)) << c.text.substr(0, 20);
  // What the system cannot take is formatted whole all the same.
  const std::string big(100000, 'y');
  EXPECT_EQ("<" + big + ">" + big, FormatString("<%1>%1", big));
  EXPECT_EQ(std::string("a\0z", 3), FormatString(std::string("a\0%1", 4), "z"));
}

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
