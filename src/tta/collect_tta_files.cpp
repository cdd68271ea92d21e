#include "tta/collect_tta_files.h"

#include "base/path.h"
#include "platform/env.h"
#include "tta/tta_file.h"

namespace miradel {

TtaCollection CollectTTAFiles(const std::string& caseListPath, const std::function<std::string()>& modelDir) {
  TtaCollection result;
  TTAFile caseList;
  if (!caseList.ReadThermalCases(caseListPath)) return result;
  result.readable = true;
  auto lookUp = [&](const std::string& name, MissingTtaFile::Kind kind) {
    std::string full = path::WithSeparator(modelDir()) + path::ToNative(name);
    if (path::StaysInside(name) && platform::PathExists(full))
      result.files.push_back(full);
    else
      result.missing.push_back({kind, full});
  };
  for (TTAThermalCase& thermalCase : caseList.m_thermalCases) {
    std::string profile = thermalCase.GetProfile();
    if (!profile.empty()) lookUp(profile + ".TTP", MissingTtaFile::kProfile);
    std::string input = thermalCase.GetTTAFileName();
    if (!input.empty()) lookUp(input, MissingTtaFile::kInput);
  }
  return result;
}

}  // namespace miradel
