// A force spectrum file from the share: every line from the third is one record, its texts
// terminated within their fields.

#include "companion/force_spectrum_file.h"
#include "fuzz_check.h"

using namespace miradel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TextLines lines(bytes);
  CForceSpectrumFile file;
  FUZZ_CHECK(file.ReadLines(lines) == 1);
  const std::size_t count = fuzz::TextLineCount(bytes);
  FUZZ_CHECK(file.m_records.size() == (count > 2 ? count - 2 : 0));
  for (const QV_ForceSpectrumData& record : file.m_records) {
    FUZZ_CHECK(fuzz::Terminated(record.szId) && fuzz::Terminated(record.szSpectrum));
    FUZZ_CHECK(std::strlen(record.szSpectrum) <= 8);  // columns 11-18
  }
  return 0;
}
