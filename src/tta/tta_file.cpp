#include "tta/tta_file.h"

#include "base/text.h"
#include "platform/byte_reader.h"

namespace miradel {

namespace {
constexpr std::size_t kColumn = 15;

using text::DecimalValue;
using text::TrimWhiteSpace;

std::string Field(const std::string& line, std::size_t index) {
  std::size_t start = index * kColumn;
  return start < line.size() ? line.substr(start, kColumn) : std::string();
}

// Appends the cases of every line after the header to cases; false when a read failed.
bool ParseCases(platform::ByteReader& in, std::vector<TTAThermalCase>& cases) {
  char c;
  // The first byte belongs to the header and is never looked at.
  if (!in.Next(&c)) return !in.failed();
  // A line ends at CR LF, or at a lone LF or CR as other editors write them.
  bool more = in.Next(&c);
  for (int lines = 1; more; ++lines) {
    std::string line;
    for (; more && c != '\r' && c != '\n'; more = in.Next(&c)) line += c;
    const bool cr = more && c == '\r';
    if (more) more = in.Next(&c);
    if (cr && more && c == '\n') more = in.Next(&c);
    if (lines > 1 && line.size() > 1) {
      cases.emplace_back(TrimWhiteSpace(Field(line, 0)), TrimWhiteSpace(Field(line, 1)), Field(line, 2),
                         DecimalValue(Field(line, 3)), DecimalValue(Field(line, 4)), DecimalValue(Field(line, 5)));
    }
  }
  return !in.failed();
}
}  // namespace

std::string TTAThermalCase::GetProfile() {
  m_strProfile = TrimWhiteSpace(m_strProfile);
  return m_strProfile;
}

bool TTAFile::ReadThermalCases(std::string path) {
  platform::Env& env = platform::Current();
  const platform::FileHandle h = platform::OpenForReading(env, path);
  if (h == platform::kNoFile) return false;
  platform::ByteReader in(env, h);
  std::vector<TTAThermalCase> cases;
  const bool read = ParseCases(in, cases);
  env.Close(h).IgnoreError();
  // A list cut short by a failing read is no list: its missing cases would go unnoticed.
  if (!read) return false;
  m_thermalCases.insert(m_thermalCases.end(), cases.begin(), cases.end());
  return true;
}

void TTAFile::ParseThermalCases(std::string_view bytes) {
  platform::ByteReader in(bytes);
  ParseCases(in, m_thermalCases);
}

}  // namespace miradel
