// The numbered texts and the filling of their inserts.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ui/format_message.h"
#include "ui/string_table.h"

namespace miradel::ui {
namespace {

// The texts as the messages quote them, written here independently of the list they are made from.
const std::map<unsigned, std::string>& Expected() {
  static const std::map<unsigned, std::string> texts = {
      {2, "The TTA Profile File %1  Not Found "},
      {3, "The TTA Input File %1  Not Found "},
      {5, "You can continue working with the '%1' model"},
      {13, "Model directory is still not available"},
      {14, "Unable to update model \" %1 \" data files on the disk.\nDo you want to retry updating model files or "
           "save the model to another location to continue working?"},
      {22, "Model has now been temporarily locked for editing by:"},
      {23, "Model has now been permanently locked for editing by:"},
      {24, "Unable to retrieve folder selection"},
      {25, "Please select a directory for saving the model to continue working"},
      {26, "Current model in this directory has been temporarily locked for editing by:"},
      {27, "Current model in this directory has been permanently locked for editing by:"},
      {28, "Model was successfully saved at new location"},
      {29, "Unable to copy model files to new model directory"},
      {30, "You can continue working with the %1 model"},
      {31, "Following Fatigue Curve files (*.FAT) are missing or unable to be retrieved \r\n"},
      {32, "Fatigue Curve Files Missing "},
      {33, "\r\n Do you want to continue opening the model ?"},
  };
  return texts;
}

TEST(StringTableTest, EveryTextIsExactlyAsQuoted) {
  std::vector<unsigned> ids;
  for (const auto& [id, text] : Expected()) {
    ids.push_back(id);
    std::string compiled;
    ASSERT_TRUE(CompiledString(id, &compiled)) << id;
    EXPECT_EQ(text, compiled) << id;
    EXPECT_EQ(text, LoadString(id)) << id;
  }
  std::vector<unsigned> listed = StringIds();
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(ids, listed);
  EXPECT_EQ(14u, static_cast<unsigned>(kStrRetryOrSaveQuestion));
  EXPECT_EQ(32u, static_cast<unsigned>(kStrFatigueFilesMissingCaption));

  // Ids the list lacks are empty.
  std::string out = "untouched";
  for (unsigned id : {0u, 1u, 4u, 34u, 70000u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(CompiledString(id, &out)) << id;
    EXPECT_EQ("", LoadString(id)) << id;
  }
  EXPECT_EQ("untouched", out);
}

TEST(FormatStringTest, FillsTheNumberedTexts) {
  EXPECT_EQ("Unable to update model \" wing \" data files on the disk.\r\nDo you want to retry updating model files or "
            "save the model to another location to continue working?",
            FormatString(kStrRetryOrSaveQuestion, "wing"));
  EXPECT_EQ("You can continue working with the 'a%1b' model", FormatString(5, std::string("a%1b")));
  EXPECT_EQ("The TTA Input File C:\\m\\x.inp  Not Found ", FormatString(kStrTtaInputNotFound, "C:\\m\\x.inp"));
  EXPECT_EQ("Following Fatigue Curve files (*.FAT) are missing or unable to be retrieved \r\n",
            FormatString(kStrFatigueFilesMissing));
  // Not given: empty.
  EXPECT_EQ("You can continue working with the  model", FormatString(kStrContinueWorking));
}

struct FormatCase {
  const char* text;
  std::vector<std::string> inserts;
  const char* expected;
};

TEST(FormatStringTest, HonoursTheFormattersEscapesAndLineBreaks) {
  const FormatCase cases[] = {
      {"%1 and %2", {"a", "b"}, "a and b"},
      {"%2%1", {"a", "b"}, "ba"},
      {"%12|%100", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten", "11", "twelve"}, "twelve|ten0"},
      {"%9 %10 %99", {"x"}, "  "},
      {"100%% sure%.%!% x", {}, "100% sure.! x"},
      {"a%nb%rc%td", {}, "a\r\nb\rc\td"},
      {"kept%0dropped %1", {"x"}, "kept"},
      {"%0", {}, ""},
      {"%q%,", {}, "q,"},
      {"a\nb\rc\r\nd\n\re", {}, "a\r\nb\r\nc\r\nd\r\n\r\ne"},
      {"%\nx%\r", {}, "\nx\r"},
      {"[%1!5s!][%1!-5s!][%1!.2s!][%1!4.1s!]", {"abc"}, "[  abc][abc  ][ab][   a]"},
      {"[%1!s!]", {"abc"}, "[abc]"},
      {"[%1!x!]", {"abc"}, "[abc]"},  // a conversion that is not for strings inserts the text
      {"", {"a"}, ""},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.expected, FormatString(c.text, c.inserts));
    std::string portable;
    ASSERT_TRUE(FormatMessageText(c.text, c.inserts, &portable));
    EXPECT_EQ(c.expected, portable);
  }
}

TEST(FormatStringTest, OnlySafeTextsAreLeftToTheSystemAndBrokenOnesComeBackAsTheyAre) {
  for (const char* text : {"50%", "%1!s", "a %2!-3s"}) {
    SCOPED_TRACE(text);
    std::string out = "untouched";
    EXPECT_FALSE(FormatMessageText(text, {"x", "y"}, &out));
    EXPECT_EQ("untouched", out);
    EXPECT_FALSE(SystemCanFormat(text, {"x", "y"}));
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
}

TEST(FormatStringTest, HugeTextsAndInsertsAreFormattedWhole) {
  const std::string big(100000, 'y');
  const std::string out = FormatString("<%1>%1", big);
  ASSERT_EQ(2 * big.size() + 2, out.size());
  EXPECT_EQ('<', out.front());
  EXPECT_EQ('y', out.back());
  const std::string zero("a\0%1", 4);
  EXPECT_EQ(std::string("a\0z", 3), FormatString(zero, "z"));
}

}  // namespace
}  // namespace miradel::ui
