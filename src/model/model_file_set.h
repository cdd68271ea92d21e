// Which files make up a model besides those its name and suffix select: the fixed companions.
#pragma once

#include <string>
#include <vector>

namespace miradel {

struct CompanionFile {
  std::string base;
  std::string extension;
  std::string FileName() const { return base + "." + extension; }
};

// The companion files the whole-model copy fetches when they are there, in fetch order (letter
// case as the host writes them). ttaFiles are the full paths the TTA collection found; each that
// ends in a lower-case 'i' brings its TSM, TDL, TTO and TSS results along.
std::vector<CompanionFile> FixedCompanionFiles(const std::string& modelName, const std::vector<std::string>& ttaFiles);

// The text after the last separator of a path.
std::string FileNameOf(const std::string& path);

}  // namespace miradel
