// The numbered texts and the filling of their inserts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/format_message.h"
#include "ui/string_table.h"

namespace miradel::ui {
namespace {

// The texts as the messages quote them, written here independently of the list they are made from,
// and filled: quotes, doubled and trailing blanks and line breaks are where its escapes go wrong.
TEST(StringTableTest, EveryTextIsExactlyAsQuotedAndOtherIdsHaveNone) {
  struct Case {
    unsigned id;
    std::vector<std::string> inserts;
    const char* expected;
  };
  const Case cases[] = {
      {2, {"p.ttp"}, "The TTA Profile File p.ttp  Not Found "},
      {3, {"C:\\m\\x.inp"}, "The TTA Input File C:\\m\\x.inp  Not Found "},
      {5, {"a%1b"}, "You can continue working with the 'a%1b' model"},
      {13, {}, "Model directory is still not available"},
      {14, {"wing"}, "Unable to update model \" wing \" data files on the disk.\r\nDo you want to retry updating model "
                     "files or save the model to another location to continue working?"},
      {22, {}, "Model has now been temporarily locked for editing by:"},
      {23, {}, "Model has now been permanently locked for editing by:"},
      {24, {}, "Unable to retrieve folder selection"},
      {25, {}, "Please select a directory for saving the model to continue working"},
      {26, {}, "Current model in this directory has been temporarily locked for editing by:"},
      {27, {}, "Current model in this directory has been permanently locked for editing by:"},
      {28, {}, "Model was successfully saved at new location"},
      {29, {}, "Unable to copy model files to new model directory"},
      {30, {}, "You can continue working with the  model"},  // an insert not given is empty
      {31, {}, "Following Fatigue Curve files (*.FAT) are missing or unable to be retrieved \r\n"},
      {32, {}, "Fatigue Curve Files Missing "}, {33, {}, "\r\n Do you want to continue opening the model ?"},
  };
  std::vector<unsigned> ids;
  for (const Case& c : cases) {
    ids.push_back(c.id);
    std::string compiled;
    ASSERT_TRUE(CompiledString(c.id, &compiled)) << c.id;
    EXPECT_EQ(compiled, LoadString(c.id)) << c.id;
    EXPECT_EQ(c.expected, FormatString(c.id, c.inserts)) << c.id;
  }
  std::vector<unsigned> listed = StringIds();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(ids, listed);
  std::string out = "untouched";
  for (unsigned id : {0u, 1u, 4u, 34u, 70000u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(CompiledString(id, &out) || !LoadString(id).empty()) << id;
  }
  EXPECT_EQ("untouched", out);
}

TEST(FormatStringTest, HonoursTheFormattersEscapesAndLineBreaks) {
  struct Case {
    const char* text;
    std::vector<std::string> inserts;
    const char* expected;
  };
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
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.expected, FormatString(c.text, c.inserts));
    std::string portable;
    ASSERT_TRUE(FormatMessageText(c.text, c.inserts, &portable));
    EXPECT_EQ(c.expected, portable);
  }
}

TEST(FormatStringTest, OnlySafeTextsAreLeftToTheSystemAndBrokenOnesComeBackAsTheyAre) {
  for (const char* text : {"50%", "%1!s", "a %2!-3s"}) {
    std::string out = "untouched";
    EXPECT_FALSE(FormatMessageText(text, {"x", "y"}, &out)) << text;
    EXPECT_EQ("untouched", out);
    EXPECT_FALSE(SystemCanFormat(text, {"x", "y"})) << text;
    EXPECT_EQ(text, FormatString(text, {"x", "y"}));
  }
  EXPECT_TRUE(SystemCanFormat("%1 %2!-12.3s! %%", {"a"}));
  for (const char* text : {"%1!*s!", "%1!d!", "%1!ls!", "%1!05s!", "%1!99999s!", "%1!!"}) {
    EXPECT_FALSE(SystemCanFormat(text, {"a"})) << text;
  }
  EXPECT_FALSE(SystemCanFormat(std::string("a\0b", 3), {}));
  EXPECT_FALSE(SystemCanFormat("%1", {std::string("a\0b", 3)}));
  EXPECT_FALSE(SystemCanFormat(std::string(40000, 'x'), {}));
  EXPECT_FALSE(SystemCanFormat("%1%1", {std::string(20000, 'x')}));

  // What the system cannot take is formatted whole all the same.
  const std::string big(100000, 'y');
  EXPECT_EQ("<" + big + ">" + big, FormatString("<%1>%1", big));
  EXPECT_EQ(std::string("a\0z", 3), FormatString(std::string("a\0%1", 4), "z"));
}

}  // namespace
}  // namespace miradel::ui
