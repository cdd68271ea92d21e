// miradel doctor: a folder that has every property passes and is left as it was; one that lacks a
// property (faked through the port) fails on that property.
#include <functional>

#include <nlohmann/json.hpp>

#include "doctor.h"
#include "support/child.h"
#include "support/fault_env.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

std::string Verdicts(const tools::DoctorReport& report) {
  std::string out;
  for (const tools::DoctorCheck& c : report.checks)
    if (c.verdict == tools::DoctorCheck::kFail) out += c.property + ";";
  return out;
}

TEST(Doctor, PassesAFitFolderAndNamesWhatAnUnfitOneLacks) {
  ModelFolder folder;
  const std::string json = Miradel({"doctor", folder.path(), "--json"});
  const auto parsed = nlohmann::json::parse(json.substr(0, json.rfind("exit ")), nullptr, false);
  ASSERT_FALSE(parsed.is_discarded()) << json;
  EXPECT_EQ(parsed["passed"], true) << json;
  EXPECT_EQ(parsed["checks"].size(), 10u) << json;
  EXPECT_EQ(json.substr(json.rfind("exit ")), "exit 0");
  EXPECT_EQ(DirectoryNames(folder.path()), "") << "the scratch folder stays";

  struct Case { const char* lacking; std::function<void(FaultEnv&)> fake; };
  const Case cases[] = {
      {"write permission;", [](FaultEnv& e) { e.Fail(Op::kCreateDir, "", platform::ErrorKind::kAccessDenied); }},
      {"replace by rename;", [](FaultEnv& e) { e.Fail(Op::kRename, "", platform::ErrorKind::kOther); }},
      {"flush;", [](FaultEnv& e) { e.Fail(Op::kFlush, "flush.tmp", platform::ErrorKind::kOther); }},
      {"free space;", [](FaultEnv& e) { e.SetFreeSpace(1 << 20); }},
  };
  for (const Case& c : cases) {
    FaultEnv env(&platform::System());
    c.fake(env);
    platform::ScopedEnv scoped(&env);
    const tools::DoctorReport report = tools::Examine(folder.path(), hostkit::SiblingProgram("miradel"));
    EXPECT_FALSE(report.Passed()) << c.lacking;
    EXPECT_EQ(Verdicts(report), c.lacking);
  }
}

}  // namespace
}  // namespace miradel::test
