// Which files make up a model: those its name and a known suffix select, and the fixed companions.
#pragma once

#include <string>
#include <vector>

namespace miradel {

class ModelFileSet {
 public:
  // 1 when the (lower-cased) suffix after the model name marks a model file; a ".ttc" or ".ttl"
  // suffix also sets m_bModelHasTTC or m_bModelHasTTL.
  int IsModelFileSuffix(const std::string& suffix);
  // The model's files among full paths listed from modelDir (which ends in a separator), in
  // listing order; selected is emptied first.
  void SelectModelFiles(const std::string& modelDir, const std::string& modelName,
                        const std::vector<std::string>& listed, std::vector<std::string>& selected);

  int m_bModelHasTTC = 0;
  int m_bModelHasTTL = 0;
};

struct CompanionFile {
  std::string base;
  std::string extension;
  std::string FileName() const { return base + "." + extension; }
};

// The companion files the whole-model copy fetches when they are there, in fetch order (letter
// case as the host writes them). ttaFiles are the full paths the TTA collection found; each that
// ends in a lower-case 'i' brings its TSM, TDL, TTO and TSS results along.
std::vector<CompanionFile> FixedCompanionFiles(const std::string& modelName, const std::vector<std::string>& ttaFiles);

}  // namespace miradel
