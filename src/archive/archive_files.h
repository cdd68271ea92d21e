// Which files of a working copy go into a model archive, and where an archive is unpacked.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/path.h"
#include "disk/disk_object.h"

namespace miradel::archive {

// The host's five type boxes, in the order of its types[5].
enum ArchiveType : int { kInput = 0, kResult, kReports, kUnit, kLibraries, kTypeCount };

// The text after the FIRST '.' in upper case ("BAK.TXT" for m.bak.txt); "" when there is no '.'.
std::string ArchiveExtension(std::string_view name);

// True when a file of this name goes into the archive with these boxes ticked: a ".dat" file always,
// a name without '.' never, anything else when a ticked type lists its extension.
bool TakenByTypes(std::string_view name, const bool ticked[kTypeCount]);

// The files directly in tempDir (listing order) that the ticked types take, then the extra files
// beside the host program: extras[0] and [1] when Unit is ticked, [2] and [3] when Libraries is,
// each as exeDir + name unless a file of the same name (after the last separator, trailing blanks
// removed) is listed already. An extra that is empty (never set) is left out rather than naming the
// host program's directory. false, with *paths untouched, when the listing fails.
bool CollectArchiveFiles(CDiskObject& disk, const Path& tempDir, const Path& exeDir,
                         const std::string extras[4], const bool ticked[kTypeCount], std::vector<std::string>* paths);

// Where an archive unpacks: <archive's directory>/<archive's name without extension>/ when that
// directory exists or can be made (every missing level), else the archive's own directory.
Path UnpackDestination(CDiskObject& disk, const Path& archivePath);

// The model in a directory: the name before the first '.' of the first file directly in dir
// (listing order) whose text after that '.' is "DAT" in any case; "" when there is none.
std::string FindModelName(CDiskObject& disk, const Path& dir);

}  // namespace miradel::archive
