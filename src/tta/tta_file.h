// A model's TTA case list: one line per thermal case in fixed 15-character columns, naming the TTA
// input file that holds the case and the profile it uses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace miradel {

class TTAThermalCase {
 public:
  TTAThermalCase() = default;
  TTAThermalCase(std::string ttaFileName, std::string thermalCase, std::string profile, int ttaRevision,
                 int ttpRevision, int ttaAnalysisRevision)
      : m_nTTAAnalysisRevision(ttaAnalysisRevision),
        m_strTTAFileName(std::move(ttaFileName)),
        m_strThermalCase(std::move(thermalCase)),
        m_strProfile(std::move(profile)),
        m_nTTARevision(ttaRevision),
        m_nTTPRevision(ttpRevision) {}
  virtual ~TTAThermalCase() = default;
  TTAThermalCase(const TTAThermalCase&) = default;
  TTAThermalCase& operator=(const TTAThermalCase&) = default;

  std::string GetTTAFileName() const { return m_strTTAFileName; }
  // Trims the stored profile name itself, then returns it.
  std::string GetProfile();

  int m_nTTAAnalysisRevision = 0;
  std::string m_strTTAFileName;
  std::string m_strThermalCase;
  std::string m_strProfile;  // as read, blanks included
  int m_nTTARevision = 0;
  int m_nTTPRevision = 0;
};

class TTAFile {
 public:
  TTAFile() = default;
  virtual ~TTAFile() { m_thermalCases.clear(); }

  // Appends the cases of the case list at path. False, with the list unchanged, when the file
  // cannot be opened or a read fails before its end.
  bool ReadThermalCases(std::string path);
  // The same for a case list's bytes at hand, where no read can fail.
  void ParseThermalCases(std::string_view bytes);

  std::vector<TTAThermalCase> m_thermalCases;
};

}  // namespace miradel
