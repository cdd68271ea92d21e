#include "model/model_file_set.h"

#include <array>
#include <cstring>

#include "base/path.h"
#include "base/text.h"

namespace miradel {

namespace {
// Accepted as they stand, in the order they are tested; the shapes are tested between them.
constexpr std::array<const char*, 45> kSuffixes = {
    ".dat", ".cmb", ".xml", ".pws", ".ttc", ".ttl", ".tpp", ".gdl", ".lin", ".mdb", ".tim", ".hrm",
    ".rsp", ".sam", ".hgr", ".str", ".f10", ".fsp", ".flx", ".eig", ".opl", ".pipe", ".rpt", ".bak",
    ".chk", ".out", ".sum", ".mod", ".geo", ".pst", ".log", ".tss", ".tto", ".tdl", ".tsm", ".msg",
    ".dxf", ".ntl", ".pxd", ".pxf", ".pxh", ".pxs", ".pcf", ".cii", ".lpipelink"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ".l" and any three characters.
bool IsLinkSuffix(const std::string& s) { return s.size() == 5 && s[0] == '.' && s[1] == 'l'; }
// ".fs1" to ".fs9".
bool IsForceSpectrumSuffix(const std::string& s) {
  return s.size() == 4 && s.compare(0, 3, ".fs") == 0 && s[3] >= '1' && s[3] <= '9';
}
// "_d", four digits, ".txt".
bool IsDisplacementSuffix(const std::string& s) {
  return s.size() == 10 && s[0] == '_' && s[1] == 'd' && IsDigit(s[2]) && IsDigit(s[3]) && IsDigit(s[4]) &&
         IsDigit(s[5]) && s.compare(6, 4, ".txt") == 0;
}
}  // namespace

int ModelFileSet::IsModelFileSuffix(const std::string& suffix) {
  for (const char* accepted : kSuffixes) {
    if (suffix == accepted) {
      if (suffix == ".ttc") m_bModelHasTTC = 1;
      if (suffix == ".ttl") m_bModelHasTTL = 1;
      return 1;
    }
    // The shapes sit at their places in the order; only the flags could notice the difference.
    if (std::strcmp(accepted, ".gdl") == 0 && IsLinkSuffix(suffix)) return 1;
    if (std::strcmp(accepted, ".str") == 0 && IsForceSpectrumSuffix(suffix)) return 1;
  }
  return IsDisplacementSuffix(suffix) ? 1 : 0;
}

void ModelFileSet::SelectModelFiles(const std::string& modelDir, const std::string& modelName,
                                    const std::vector<std::string>& listed, std::vector<std::string>& selected) {
  selected.clear();
  const std::string name = text::LowerCase(modelName);
  const std::size_t dirLength = modelDir.size();
  for (const std::string& path : listed) {
    if (path.size() < dirLength) continue;
    std::string file = text::LowerCase(path.substr(dirLength));
    if (file.size() < name.size() || file.compare(0, name.size(), name) != 0) continue;
    if (IsModelFileSuffix(file.substr(name.size()))) selected.push_back(path);
  }
}

std::vector<CompanionFile> FixedCompanionFiles(const std::string& modelName, const std::vector<std::string>& ttaFiles) {
  std::vector<CompanionFile> files = {{"EQUIP", "LIB"},    {"VELDRANE", "LIB"}, {"input", "gps"},
                                      {"result", "gps"},   {modelName, "TPP"},  {modelName, "GDL"},
                                      {modelName, "LOG"},  {modelName, "TTO"},  {modelName, "TDL"},
                                      {modelName, "TSM"}};
  for (const std::string& path : ttaFiles) {
    if (path.empty() || path.back() != 'i') continue;
    std::string file = path::BaseName(path);
    std::string base = file.size() >= 4 ? file.substr(0, file.size() - 4) : std::string();
    for (const char* ext : {"TSM", "TDL", "TTO", "TSS"}) files.push_back({base, ext});
  }
  return files;
}

}  // namespace miradel
