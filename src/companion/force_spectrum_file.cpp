#include "companion/force_spectrum_file.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace miradel {

namespace {
std::string Field(const std::string& line, std::size_t first, std::size_t last) {
  return text::TrimWhiteSpace(text::Columns(line, first, last));
}

template <std::size_t N>
void Store(char (&to)[N], const std::string& from) {
  std::memset(to, 0, N);
  std::memcpy(to, from.data(), std::min(from.size(), N - 1));
}
}  // namespace

std::string ForceSpectrumSuffix(int index) {
  return (index >= 1 && index <= 9 ? ".fs" : ".f") + std::to_string(index);
}

int CForceSpectrumFile::ReadLines(TextLines& lines) {
  std::string line;
  if (lines.Next(&line) && lines.Next(&line)) {
    int* headers[] = {&m_nHeader1, &m_nHeader2, &m_nHeader3, &m_nHeader4, &m_nHeader5};
    for (std::size_t i = 0; i < 5; ++i) *headers[i] = text::DecimalValue(Field(line, 1 + 5 * i, 5 + 5 * i));
    while (lines.Next(&line)) {
      QV_ForceSpectrumData record{};
      Store(record.szId, Field(line, 1, 6));
      Store(record.szSpectrum, Field(line, 11, 18));
      double* values[] = {&record.dValue1, &record.dValue2, &record.dValue3, &record.dValue4};
      for (std::size_t i = 0; i < 4; ++i) *values[i] = text::RealValue(Field(line, 21 + 10 * i, 30 + 10 * i));
      m_records.push_back(record);
    }
  }
  if (!lines.failed()) return 1;
  m_records.clear();  // a file cut short by a failing read names no spectra at all
  return 0;
}

int CForceSpectrumFile::Read() {
  const platform::FileHandle h = platform::OpenForReading(platform::Current(), m_strPath);
  if (h == platform::kNoFile) return 0;
  TextLines lines(platform::Current(), h);
  const int result = ReadLines(lines);
  platform::Current().Close(h).IgnoreError();
  return result;
}

}  // namespace miradel
