// Which TTA input and profile files a model's case list names, and which of them are not there.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace miradel {

struct MissingTtaFile {
  enum Kind { kProfile, kInput } kind;
  std::string path;  // the full path looked for (as named, when the name leads out of the model)
};

struct TtaCollection {
  bool readable = false;           // the case list could be opened and read to its end
  std::vector<std::string> files;  // present files, case by case: profile, then input
  std::vector<MissingTtaFile> missing;
};

// Reads the case list at caseListPath and looks each named file up in the model directory, which
// modelDir gives afresh for every look-up (the copy thread may move the model meanwhile). A name
// that would lead out of the model directory counts as missing and is never looked up.
TtaCollection CollectTTAFiles(const std::string& caseListPath, const std::function<std::string()>& modelDir);

}  // namespace miradel
