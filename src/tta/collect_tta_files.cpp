// Which TTA input and profile files a model's case list names, and one word about those missing.
#include <string>
#include <vector>

#include "control/network_file_control.h"
#include "platform/env.h"
#include "tta/tta_file.h"
#include "ui/string_table.h"
#include "ui/user_interface.h"

namespace miradel {

void CNetworkFileControl::CollectTTAFiles(std::string caseListPath, std::vector<std::string>& files) {
  TTAFile caseList;
  if (!caseList.ReadThermalCases(caseListPath)) return;
  // The model directory is read afresh for every look-up: the copy thread may move the model.
  auto modelDir = [this] { return platform::WithSeparator(m_modelDir.Get()); };
  std::string message;
  bool missing = false;
  for (TTAThermalCase& thermalCase : caseList.m_thermalCases) {
    std::string profile = thermalCase.GetProfile();
    if (!profile.empty()) {
      std::string path = modelDir() + profile + ".TTP";
      if (platform::PathExists(path)) {
        files.push_back(path);
      } else {
        missing = true;
        message += ui::FormatString(ui::kStrTtaProfileNotFound, {path}) + "\n";
      }
    }
    std::string input = thermalCase.GetTTAFileName();
    if (!input.empty()) {
      std::string path = modelDir() + platform::ToNativeSeparators(input);
      if (platform::PathExists(path)) {
        files.push_back(path);
      } else {
        missing = true;
        message += ui::FormatString(ui::kStrTtaInputNotFound, {path}) + "\n";
      }
    }
  }
  if (!missing) return;
  // Shown in silent mode too: without these files the model's thermal analysis cannot run.
  ui::MessageBoxRequest box;
  box.owner = m_hWndHost;
  box.text = message;
  box.caption = "TTA Files Missing";
  box.style = ui::kOk | ui::kIconExclamation;
  ui::Current().MessageBox(box);
}

}  // namespace miradel
