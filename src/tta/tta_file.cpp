#include "tta/tta_file.h"

#include "base/text.h"
#include "platform/env.h"

namespace miradel {

namespace {
constexpr std::size_t kColumn = 15;

using text::DecimalValue;
using text::TrimWhiteSpace;

std::string Field(const std::string& line, std::size_t index) {
  std::size_t start = index * kColumn;
  return start < line.size() ? line.substr(start, kColumn) : std::string();
}

// Byte-at-a-time reading, as the case list is read: over bytes in memory, or over a buffer of a
// file's. A read that fails ends the bytes like the end of the file does, and says so through
// failed().
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}
  ByteReader(platform::Env& env, platform::FileHandle h) : env_(&env), h_(h) {}
  bool Next(char* c) {
    if (pos_ == bytes_.size()) {
      if (env_ == nullptr || eof_) return false;
      std::size_t got = 0;
      if (!env_->Read(h_, buf_, sizeof buf_, &got).ok()) failed_ = true;
      if (failed_ || got == 0) {
        eof_ = true;
        return false;
      }
      bytes_ = std::string_view(buf_, got);
      pos_ = 0;
    }
    *c = bytes_[pos_++];
    return true;
  }
  bool failed() const { return failed_; }

 private:
  platform::Env* env_ = nullptr;
  platform::FileHandle h_ = platform::kNoFile;
  std::string_view bytes_;
  std::size_t pos_ = 0;
  char buf_[8192];
  bool eof_ = false;
  bool failed_ = false;
};

// Appends the cases of every line after the header to cases; false when a read failed.
bool ParseCases(ByteReader& in, std::vector<TTAThermalCase>& cases) {
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
  platform::FileHandle h = platform::kNoFile;
  if (!env.OpenFile(path, platform::kRead, platform::kShareRead | platform::kShareWrite,
                    platform::Disposition::kOpenExisting, &h, nullptr)
           .ok())
    return false;
  ByteReader in(env, h);
  std::vector<TTAThermalCase> cases;
  const bool read = ParseCases(in, cases);
  env.Close(h).IgnoreError();
  // A list cut short by a failing read is no list: its missing cases would go unnoticed.
  if (!read) return false;
  m_thermalCases.insert(m_thermalCases.end(), cases.begin(), cases.end());
  return true;
}

void TTAFile::ParseThermalCases(std::string_view bytes) {
  ByteReader in(bytes);
  ParseCases(in, m_thermalCases);
}

}  // namespace miradel
