// The numbered texts and the filling of their inserts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/format_message.h"
#include "ui/string_table.h"

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

}  // namespace
}  // namespace miradel::ui
