// Packing the open model's working copy into one archive, and unpacking an archive into a folder
// the model opens from: the host's two archive exports, with their dialogs and messages.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/path.h"
#include "disk/disk_object.h"

namespace miradel {

class ModelArchive {
 public:
  explicit ModelArchive(CDiskObject& disk) : m_disk(disk) {}
  ModelArchive(const ModelArchive&) = delete;
  ModelArchive& operator=(const ModelArchive&) = delete;

  // Extra file index (1-4): name without trailing blanks, "." and extension when one is given.
  // Other indexes change nothing.
  void AddInArchive(int index, const std::string& name, const std::string& extension);

  // Asks where to write the archive and which file types go in, then packs the working copy
  // (tempDir) and the extra files of the host program's directory (exeDir). Every outcome is told
  // in a message; the current directory is the same afterwards.
  void ArchiveModel(const Path& tempDir, const Path& exeDir, const Path& modelDir, const std::string& modelName);

  struct Opened {
    std::string directory;  // without a trailing separator
    std::string name;       // the model's name: its data file without ".dat"
    int status = 9;         // 0 unpacked and found, 9 otherwise
  };
  // Asks for an archive and unpacks it beside itself, into a folder named after it when one can be
  // made. A directory or name of kResultBuffer bytes or more is no result (status 9).
  Opened OpenArchive(const Path& modelDir, const std::string& modelName);
  static constexpr std::size_t kResultBuffer = 260;

  std::array<std::string, 4> m_strArchiveAddIn;

 private:
  CDiskObject& m_disk;
};

}  // namespace miradel
