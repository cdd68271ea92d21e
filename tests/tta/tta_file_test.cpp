// Reading a TTA case list byte for byte, and collecting the files its cases name.
#include "support/host_test.h"
#include "tta/collect_tta_files.h"
#include "tta/tta_file.h"

namespace miradel::test {
namespace {

namespace fs = std::filesystem;

std::string Col(const std::string& text) { return text + std::string(15 - text.size(), ' '); }

class TTAFileTest : public ::testing::Test {
 protected:
  // Each case read as "file|case|profile|revisions;", the profile as stored; "unreadable:" first
  // when the read failed. The same bytes in memory must give the same cases.
  std::string Read(const std::string& content) {
    TTAFile file, inMemory;
    std::string out = file.ReadThermalCases(dir_.Write("pump.ttc", content)) ? "" : "unreadable:";
    inMemory.ParseThermalCases(content);
    if (out.empty()) EXPECT_EQ(Cases(inMemory), Cases(file)) << "read from memory";
    return out + Cases(file);
  }
  static std::string Cases(const TTAFile& file) {
    std::string out;
    for (const TTAThermalCase& c : file.m_thermalCases)
      out += c.GetTTAFileName() + "|" + c.m_strThermalCase + "|" + c.m_strProfile + "|" +
             std::to_string(c.m_nTTARevision) + "," + std::to_string(c.m_nTTPRevision) + "," +
             std::to_string(c.m_nTTAAnalysisRevision) + ";";
    return out;
  }
  TempDir dir_;
};

TEST_F(TTAFileTest, ReadsFixedColumnsOfEveryLineAfterTheHeaderAndCollectsTheFilesTheCasesName) {
  const std::tuple<const char*, std::string, std::string> reads[] = {
      {"text after column 90 is ignored; no CR LF at the end",
       "TTA File       Case           Profile\r\n" + Col("  case1.tti") + Col(" Startup ") + Col("  prof1  ") +
           Col(" 3") + Col("-2x") + Col("abc") + "\r\n" + Col("case2.tti") + Col("Trip") + Col("prof2") + Col("17") +
           Col("+4") + Col("9") + "IGNORED",
       "case1.tti|Startup|" + Col("  prof1  ") + "|3,-2,0;case2.tti|Trip|" + Col("prof2") + "|17,4,9;"},
      {"short lines fill what they reach; a line of one character is none",
       "H\r\nx\r\nab\r\n" + Col("a.tti") + Col("c") + Col("prof") + "\r\n\r\n" + Col("b.tti") + "Tr",
       "ab|||0,0,0;a.tti|c|" + Col("prof") + "|0,0,0;b.tti|Tr||0,0,0;"},
      {"empty", "", ""}, {"header only", "Header only\r\n", ""},
      {"lone line feeds and carriage returns end lines too",
       "Header\n" + Col("case1.tti") + "Startup\n" + Col("case2.tti") + "Trip\rx\r\r\nab",
       "case1.tti|Startup||0,0,0;case2.tti|Trip||0,0,0;ab|||0,0,0;"},
      {"numbers beyond an int are held at its limits",
       "H\r\n" + Col("f") + Col("c") + Col("p") + Col("99999999999999") + Col("-99999999999999"),
       "f|c|" + Col("p") + "|2147483647,-2147483648,0;"}};
#ifdef __linux__  // a case list left open after its reading shows among the process's descriptors
  auto open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}); };
  const auto before = open();
#endif
  for (const auto& [what, content, cases] : reads) EXPECT_EQ(Read(content), cases) << what;
#ifdef __linux__
  EXPECT_EQ(open(), before) << "a case list stays open after it was read";
#endif
  // A read that fails before the end makes the list unreadable, not short.
  FaultEnv env(&platform::System());
  platform::ScopedEnv scoped(&env);
  env.Fail(Op::kRead, "", platform::ErrorKind::kOther, 1);
  EXPECT_EQ(Read("H\r\n" + Col("a.tti")), "unreadable:");
  env.ClearFaults();

  // The collection lists each profile, then its input, and what is missing.
  const std::string m = dir_ / "m" + kSep;
  ASSERT_TRUE(platform::System().CreateDirectory(m).ok());
  for (const char* name : {"prof1.TTP", "case1.tti", "case2.tti"}) dir_.Write(std::string("m") + kSep + name, "");
  dir_.Write("secret.tti", "outside the model directory");
  const std::string up = std::string("..") + kSep;
  TtaCollection got = CollectTTAFiles(
      dir_.Write("pump.ttc", CaseList({{"case1.tti", "  prof1 "}, {"case2.tti", ""}, {"", ""}, {"gone.tti", "prof1.TTP"},
                                       {up + "secret.tti", up + "m" + kSep + "prof1"}})), [&] { return m; });
  EXPECT_TRUE(got.readable);
  EXPECT_EQ(got.files, (std::vector<std::string>{m + "prof1.TTP", m + "case1.tti", m + "case2.tti"}));
  std::string missing;
  for (const MissingTtaFile& f : got.missing)
    missing += (f.kind == MissingTtaFile::kProfile ? "TTP " : "TTI ") + f.path + ";";
  EXPECT_EQ(missing, "TTP " + m + "prof1.TTP.TTP;TTI " + m + "gone.tti;TTP " + m + up + "m" + kSep +
                         "prof1.TTP;TTI " + m + up + "secret.tti;")
      << "names that leave the model directory count as missing";
  EXPECT_FALSE(CollectTTAFiles(dir_ / "missing.ttc", [&] { return m; }).readable);
}

}  // namespace
}  // namespace miradel::test
