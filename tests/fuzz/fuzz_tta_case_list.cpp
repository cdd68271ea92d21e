// A TTA case list from the share: cases are appended after what the list held, each field one
// 15-character column of one line.

#include "fuzz_check.h"
#include "tta/tta_file.h"

using namespace miradel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TTAFile file;
  file.m_thermalCases.emplace_back("held.tti", "before", "", 1, 2, 3);
  file.ParseThermalCases(bytes);
  FUZZ_CHECK(file.m_thermalCases.front().m_strThermalCase == "before");
  const std::size_t ends = std::count(bytes.begin(), bytes.end(), '\r') + std::count(bytes.begin(), bytes.end(), '\n');
  FUZZ_CHECK(file.m_thermalCases.size() - 1 <= ends);  // the header line gives no case
  for (std::size_t i = 1; i < file.m_thermalCases.size(); ++i) {
    const TTAThermalCase& c = file.m_thermalCases[i];
    for (const std::string* field : {&c.m_strTTAFileName, &c.m_strThermalCase, &c.m_strProfile})
      FUZZ_CHECK(field->size() <= 15 && field->find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(!fuzz::HasEdgeWhiteSpace(c.m_strTTAFileName) && !fuzz::HasEdgeWhiteSpace(c.m_strThermalCase));
  }
  return 0;
}
