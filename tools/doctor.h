// miradel doctor: does a folder have what shared models need? Runs the operations the library
// relies on in a scratch folder it makes and removes, and says for each property whether it holds.
#pragma once

#include <string>
#include <vector>

namespace miradel::tools {

struct DoctorCheck {
  std::string property;
  enum Verdict { kOk, kNote, kFail } verdict = kFail;  // a note is worth knowing but harms nothing
  std::string reason;
};

struct DoctorReport {
  std::string folder;
  std::vector<DoctorCheck> checks;
  bool Passed() const;
};

// Through the current Env (a test may fault it). secondProgram is the miradel program, started as
// the second process that must be refused a lock this one holds.
DoctorReport Examine(const std::string& folder, const std::string& secondProgram);
std::string DoctorText(const DoctorReport& report);
std::string DoctorJson(const DoctorReport& report);

// The command: the report on standard output; status 0 only when it passed.
int RunDoctor(const std::string& folder, bool json);

}  // namespace miradel::tools
