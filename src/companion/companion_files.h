// The files a model names beside its own: the force spectrum (FS) files and the spectra they name,
// the fatigue curve and TIH files of the host's file list, and the TTA inputs with their
// companions. All of it runs on the host's thread and copies at once, without the copy thread.
//
// Every name read from a file on the share or given by the host must stay inside the directory it
// is joined to: one that would lead out counts as missing and is never copied, and nothing is
// written anywhere but the QV temporary directory (or the destination the host names).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/disk_object.h"
#include "model/model_location.h"
#include "model/staging.h"

namespace miradel {

class CompanionFiles {
 public:
  CompanionFiles(ModelLocation& location, CDiskObject& disk, Staging& staging)
      : m_location(location), m_diskObject(disk), m_staging(staging) {}
  CompanionFiles(const CompanionFiles&) = delete;
  CompanionFiles& operator=(const CompanionFiles&) = delete;

  // The FS files whose flag is set (flags[i - 1] for index i) into the working copy, and the
  // spectra they name; the missing ones in one box when showMessage is not 0. 1 when every flagged
  // FS file came over (spectra missing or not), else 0.
  int CopySpectrumFiles(const int* flags, int count, int showMessage, std::intptr_t owner);
  // The spectra the flagged FS files of the working copy name, into it. lists[i - 1]: the spectrum
  // files of index i, or (result 0) those of them that are missing.
  int CollectSpectrumFiles(const std::vector<int>& flags, int count, std::vector<std::vector<std::string>>& lists);
  // The working copy's FS files of indices 1 to count into dir under newName; 1 when every one
  // there was written.
  int CopyFSFilesToDirectory(const std::string& dir, const std::string& newName, int count);

  void ClearFileList() { m_fileList.clear(); }
  // name (trailing white space removed) + "." + extension; nothing for an empty name.
  void AppendToFileList(const std::string& name, const std::string& extension);
  int FileListContains(const std::string& name) const;
  // Direction 1: model directory to working copy; else back. 1 when every copy succeeded.
  int CopyFileList(int direction, int removeDuplicates);
  // The listed fatigue curve files from the model directory or else the host program's directory:
  // copied (mode 1) or looked for. 1 all there; 0 some missing; -1 the user would not go on.
  int FatigueFilesOperation(int mode, int ask, std::intptr_t owner);
  // Reads each listed file as a TIH list and copies the TIH files it names; the list is left as it
  // was.
  int CopyTihFiles();

  // The model's TTA files, the inputs and profiles its case list names, and each input's four
  // companions, into the working copy (copy 1; any other value does nothing and answers 1).
  int CopyTTAFiles(int copy, std::intptr_t owner);

  std::vector<std::string> m_fileList;

 private:
  std::string ModelDir() const;
  // Copies dir + name into the working copy; 0 for a name that would lead out of dir.
  int FetchInto(const std::string& dir, const std::string& name);

  ModelLocation& m_location;
  CDiskObject& m_diskObject;
  Staging& m_staging;
};

}  // namespace miradel
