// The lock file's XML: what we write, and what we read from files that peers wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "control/version.h"
#include "lock/lock_texts.h"
#include "lock/xml_processor.h"
#include "platform/fault_env.h"

namespace miradel {
namespace {

LockOwnerInfo Read(const std::string& text, int* found = nullptr) {
  LockOwnerInfo owner;
  std::memset(&owner, 0, sizeof owner);
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  int r = doc.ReadLockOwner(owner);
  if (found) *found = r;
  return owner;
}

class LockTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.SetUserName("engineer7");
    env_.SetComputerName("WS-0042");
    SetDottedVersionText(DottedVersion(VersionDigits(80100)));
    BuildLockTexts();
  }
  void TearDown() override { ClearLockTexts(); }
  platform::FaultEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
};

TEST_F(LockTextTest, PreparedTextsCarryTheTreeAndReadBack) {
  std::string temporary = TemporaryLockText();
  std::string permanent = PermanentLockText();
  ASSERT_FALSE(temporary.empty());
  EXPECT_LE(temporary.size(), kLockTextCapacity);
  EXPECT_LE(permanent.size(), kLockTextCapacity);
  // One line, no white space between elements, nodes in their fixed order.
  EXPECT_EQ(temporary.find('\n'), std::string::npos);
  const char* order[] = {"<?xml",          "<Quorvane-Miradel>", "<!--Quorvane Lock File-->", "<Header>",
                         "<QuorvaneVersion>8.0.1.0</QuorvaneVersion>", "<FormatVersion>1.00</FormatVersion>",
                         "<Lock>", "<!--Information of user editing the model-->", "<MachineName>WS-0042</MachineName>",
                         "<UserName>engineer7</UserName>", "<IsPermanent>FALSE</IsPermanent>", "</Quorvane-Miradel>"};
  std::size_t at = 0;
  for (const char* piece : order) {
    std::size_t found = temporary.find(piece, at);
    ASSERT_NE(found, std::string::npos) << piece << " in " << temporary;
    at = found;
  }
  EXPECT_NE(permanent.find("<IsPermanent>TRUE</IsPermanent>"), std::string::npos);

  int found = 0;
  LockOwnerInfo owner = Read(permanent, &found);
  EXPECT_EQ(found, 1);
  EXPECT_STREQ(owner.szMachineName, "WS-0042");
  EXPECT_STREQ(owner.szUserName, "engineer7");
  EXPECT_EQ(owner.bIsPermanent, 1);
  EXPECT_EQ(Read(temporary).bIsPermanent, 0);
}

TEST_F(LockTextTest, LongAndAwkwardNamesAreCutToTheOwnerFieldsAndEscaped) {
  env_.SetUserName(std::string(40, 'u'));
  env_.SetComputerName("R&D <lab> \"7\"");
  BuildLockTexts();
  LockOwnerInfo owner = Read(TemporaryLockText());
  EXPECT_EQ(std::string(owner.szUserName), std::string(31, 'u'));
  EXPECT_STREQ(owner.szMachineName, "R&D <lab> \"7\"");
}

TEST_F(LockTextTest, NoTextsBeforeTheVersionIsGiven) {
  ClearLockTexts();
  EXPECT_TRUE(TemporaryLockText().empty());
  EXPECT_TRUE(PermanentLockText().empty());
  EXPECT_TRUE(DottedVersionText().empty());
}

TEST(LockFileRead, PeerWrittenFilesAreReadByTheirElementTree) {
  const std::string peer =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
      "<quorvane-miradel>\r\n"
      "  <!-- Quorvane Lock File -->\r\n"
      "  <Header><QuorvaneVersion>10.0.1.4</QuorvaneVersion><FormatVersion>1.00</FormatVersion></Header>\r\n"
      "  <LOCK>\r\n"
      "    <Extra a='1'/>\r\n"
      "    <machinename>PC-ANNA</machinename>\r\n"
      "    <UserName>anna</UserName>\r\n"
      "    <IsPermanent>true</IsPermanent>\r\n"
      "    <UserName>not-read-after-permanence</UserName>\r\n"
      "  </LOCK>\r\n"
      "</quorvane-miradel>\r\n";
  int found = 0;
  LockOwnerInfo owner = Read(peer, &found);
  EXPECT_EQ(found, 1);
  EXPECT_STREQ(owner.szMachineName, "PC-ANNA");
  EXPECT_STREQ(owner.szUserName, "anna");
  EXPECT_EQ(owner.bIsPermanent, 1);
}

TEST(LockFileRead, AForeignRootCarriesNoOwner) {
  LockOwnerInfo owner;
  std::memset(&owner, 0x5a, sizeof owner);
  XMLProcessorNetwork doc;
  doc.LoadText("<?xml version='1.0'?><Other><Lock><MachineName>X</MachineName><UserName>y</UserName>"
               "<IsPermanent>TRUE</IsPermanent></Lock></Other>");
  EXPECT_EQ(doc.ReadLockOwner(owner), 0);
  for (std::size_t i = 0; i < sizeof owner; ++i) EXPECT_EQ(reinterpret_cast<unsigned char*>(&owner)[i], 0x5a);
}

TEST(LockFileRead, TrailingRemainsOfALongerTextDoNotHideTheOwner) {
  // A peer that rewrites FALSE with TRUE in place leaves the old text's last character behind.
  std::string text =
      "<?xml version='1.0'?><Quorvane-Miradel><Lock><MachineName>M</MachineName><UserName>u</UserName>"
      "<IsPermanent>TRUE</IsPermanent></Lock></Quorvane-Miradel>>";
  int found = 0;
  LockOwnerInfo owner = Read(text, &found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(owner.bIsPermanent, 1);
  EXPECT_STREQ(owner.szUserName, "u");
}

TEST(LockFileRead, MissingPermanenceKeepsWhatWasFound) {
  int found = 1;
  LockOwnerInfo owner = Read("<Quorvane-Miradel><Lock><MachineName>M</MachineName></Lock></Quorvane-Miradel>", &found);
  EXPECT_EQ(found, 0);
  EXPECT_STREQ(owner.szMachineName, "M");
}

TEST(LockFileRead, MalformedTruncatedAndRandomTextsNeverBreakTheReader) {
  const std::string good =
      "<?xml version='1.0'?><Quorvane-Miradel><!--Quorvane Lock File--><Header><QuorvaneVersion>8.0.1.0"
      "</QuorvaneVersion><FormatVersion>1.00</FormatVersion></Header><Lock><MachineName>"
      + std::string(300, 'M') + "</MachineName><UserName>" + std::string(300, 'U') +
      "</UserName><IsPermanent>TRUE</IsPermanent></Lock></Quorvane-Miradel>";
  std::mt19937 rng(12345);
  for (std::size_t cut = 0; cut <= good.size(); cut += 7) {
    LockOwnerInfo owner = Read(good.substr(0, cut));
    EXPECT_LT(std::strlen(owner.szMachineName), sizeof owner.szMachineName);
    EXPECT_LT(std::strlen(owner.szUserName), sizeof owner.szUserName);
  }
  for (int round = 0; round < 2000; ++round) {
    std::string text = good;
    int flips = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < flips; ++i) text[rng() % text.size()] = static_cast<char>(rng() % 256);
    text.resize(rng() % (text.size() + 1));
    LockOwnerInfo owner = Read(text);
    EXPECT_LT(std::strlen(owner.szUserName), sizeof owner.szUserName);
  }
}

TEST(ParseBool, AcceptsTrueAndFalseInAnyCaseOnly) {
  EXPECT_EQ(ParseBool("TRUE", 7), 1);
  EXPECT_EQ(ParseBool("tRuE", 7), 1);
  EXPECT_EQ(ParseBool("false", 7), 0);
  EXPECT_EQ(ParseBool("FALSE", 7), 0);
  EXPECT_EQ(ParseBool(" TRUE", 7), 7);
  EXPECT_EQ(ParseBool("TRUEX", 7), 7);
  EXPECT_EQ(ParseBool("", -1), -1);
  EXPECT_EQ(ParseBool("1", 0), 0);
}

}  // namespace
}  // namespace miradel
