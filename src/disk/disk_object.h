// CDiskObject: every file and directory action of the library - qualifying paths, existence tests,
// making directory trees, listings, copies and deletions.
//
// Contract shared by all operations:
//  - The result is 1 for success, 0 for failure. No operation throws or shows anything; on failure
//    GetErrorText() says why: either kInternalError (bad arguments) or the system's own message
//    text, followed by a blank and the path concerned where there is one.
//  - Most operations empty the error text first, so it always describes the latest failure.
//    FileIsPresent and DirectoryIsPresent leave it empty when the answer is simply "no".
//  - Paths are the platform's (kSep separators; the other separator is accepted and converted).
//    Relative paths are resolved against the process's current directory, which is only ever
//    read, never changed: the copy thread runs these operations while the host thread does too.
//  - An object is not guarded; each thread uses its own. All file-system access goes through the
//    Env given to the constructor, so tests can inject faults.
#pragma once

#include <string>
#include <vector>

#include "platform/env.h"

namespace miradel {

class CDiskObject {
 public:
  static constexpr const char* kInternalError = "CDiskObject internal error - check call parameters";

  // Without an env, each operation uses platform::Current() as it is at that moment, so that a test
  // that installs a faulty Env reaches the objects the library already made.
  explicit CDiskObject(platform::Env* env = nullptr);

  // Makes a file path absolute: a drive path (Windows) or share path is kept, leading "..<sep>"
  // steps climb from the current directory, a path starting with one separator gets the current
  // directory's drive, anything else gets the current directory in front. Fails with the internal
  // error when the directory, name or extension holds ':', '*' or '?'; the path is then left as
  // rewritten so far.
  int QualifyFilePath(std::string& path);
  // As QualifyFilePath for a directory; the result ends in kSep. Share paths ("<sep><sep>server...")
  // only gain the trailing separator and are not checked.
  int QualifyDirectoryPath(std::string& path);
  // The name after / the directory before the last separator of the qualified path; empty (and 0)
  // when the path does not qualify.
  int GetFileNamePart(std::string& result, const std::string& path);
  int GetDirectoryPart(std::string& result, const std::string& path);

  int DeleteOneFile(const std::string& path);
  // True for a file that can be opened for reading while others read and write it.
  int FileIsPresent(const std::string& path);
  // True for a directory that exists and can be entered.
  int DirectoryIsPresent(const std::string& directory);
  // Creates the directory and every missing level above it.
  int MakeDirectoryPath(const std::string& directory);

  // Adds the files (not directories) of one directory that match pattern to list, each in front of
  // the first entry that compares greater (byte order), so that a sorted list stays sorted. Mode 1
  // adds full paths, any other mode bare names. A missing directory adds nothing and succeeds; a
  // search that finds nothing fails.
  int ListFilesMatching(const std::string& pattern, const std::string& directory,
                        std::vector<std::string>& list, int mode);
  int ListFiles(const std::string& directory, std::vector<std::string>& list, int mode);
  // Appends every subdirectory at every depth, depth first in the platform's entry order, as
  // "directory<sub><sep>" (full_path 1) or relative without trailing separator (full_path 0).
  // Entries already in the list are left as they are.
  int ListSubdirectoriesDeep(const std::string& directory, std::vector<std::string>& list, int full_path);
  // Appends every file of the directory, then of each subdirectory in ListSubdirectoriesDeep
  // order; sorted within each directory. full_path 0 gives paths relative to the directory.
  int ListFilesDeep(const std::string& directory, std::vector<std::string>& list, int full_path);

  // Copies source into the destination directory (made if missing), overwriting. A missing source
  // fails with no error text.
  int CopyFileInto(const std::string& source, const std::string& destination);
  int CopyFileIntoAs(const std::string& source, const std::string& destination, const std::string& new_name);
  // Copies each non-empty entry in order; the first refused copy ends the loop with failure.
  int CopyFileListInto(const std::vector<std::string>& sources, const std::string& destination);
  // The same for writes into a model directory: each target is replaced in one step, so that it is
  // whole and old or whole and new whatever happens, and never deleted because a copy failed.
  int WriteFileInto(const std::string& source, const std::string& destination);
  int WriteFileListInto(const std::vector<std::string>& sources, const std::string& destination);
  int WriteFileIntoAs(const std::string& source, const std::string& destination, const std::string& new_name);
  // Copies the file under new_name into its own directory, then deletes the original. When the
  // copy fails the original is left alone.
  int RenameFileByCopy(const std::string& path, const std::string& new_name);
  // Deletes the files (not the subdirectories) of a directory; stops at the first refusal.
  int DeleteFilesInDirectory(const std::string& directory);
  // Deletes the files of a directory and then the directory, which fails if subdirectories remain.
  int DeleteDirectory(const std::string& directory);

  const std::string& GetErrorText() const { return m_strError; }

  // Text of the last failure.
  std::string m_strError;
  // A progress window whose text would show the item being handled; this library never sets one.
  void* m_pFeedbackWnd = nullptr;

 private:
  enum class Qualify { kFile, kDirectory, kDirectoryOrCurrent };
  // Every operation's start: the last error cleared, then path qualified in place as a file's or a
  // directory's. An empty path is refused (an internal error) unless it may name the current
  // directory.
  int Begin(std::string& path, Qualify as);
  int ListDeep(const std::string& directory, std::vector<std::string>& list, int full_path, bool subdirectories);
  int InternalError();
  int SystemError(const platform::Status& status, const std::string& path);
  int CopyInto(const std::string& source, const std::string& destination, const std::string* new_name, bool replace);
  int CopyList(const std::vector<std::string>& sources, const std::string& destination, bool replace);
  platform::Status Put(const std::string& source, const std::string& target, bool replace);
  // Lists the matching files of an already qualified directory into out, in byte order.
  platform::Status CollectFiles(const std::string& pattern, const std::string& qualified_dir, int mode,
                                std::vector<std::string>* out);
  int Walk(const std::string& root, std::vector<std::string>* subdirs, std::vector<std::string>* files);

  platform::Env& env() const { return m_env ? *m_env : platform::Current(); }

  platform::Env* m_env;
};

// Adds names to list as if each, in the order given, were inserted in front of the first entry of
// list comparing greater (byte order; equal entries stay in arrival order), but in O(n log n).
// Exposed for tests.
void InsertInListingOrder(std::vector<std::string>& list, std::vector<std::string> names);

}  // namespace miradel
