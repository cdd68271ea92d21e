// The record of changes the copy thread could not write back: while it exists, the working copy
// holds the only copy of those files, so it is never removed, and `miradel recover` can find it.
//
// The record lives beside the working copy, not in it: every "*.*" listing of the working copy
// would otherwise carry it along to the share.
//
// Crash safety without a rename: each change is written whole to the record path + ".tmp" and made
// durable, then the same text to the record itself, and only then is the ".tmp" deleted. Every text
// ends in a line with a checksum of all before it, and a reader takes a complete ".tmp" before the
// record: a crash at any point leaves the old or the new state readable. A ".tmp" that outlived its
// store is copied into the record before it is overwritten. An emptied record is
// first written empty, so that a crash while it goes cannot bring back entries already written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/path.h"

namespace miradel {

// The file must be copied to, or deleted from, the model directory.
enum class UnwrittenKind { kCopy, kDelete };

struct UnwrittenEntry {
  UnwrittenKind kind;
  std::string file;  // bare file name in the working copy
};

struct UnwrittenRecord {
  std::string working_copy;  // the QV temporary directory, ending in a separator
  std::string model_dir;     // the model directory the files belong in, ending in a separator
  std::string model_name;
  std::int64_t since = 0;  // seconds since 1970 when the first entry was recorded
  // No two for one name (compared ignoring case): a later entry replaces the earlier one.
  std::vector<UnwrittenEntry> entries;
};

// The working copy's path without its trailing separator + ".unwritten"; empty for an empty path.
std::string UnwrittenRecordPath(const Path& workingCopy);
// The same + ".pending": the journal of write-backs on their way (model/pending_writes.h). Its text:
// the header line, then "model-dir D", "model N", "copy F" and "delete F" lines; the last model-dir
// and model named are where all of its entries belong, and a last line without its line end (a
// write cut short) is not read.
std::string PendingJournalPath(const Path& workingCopy);
inline constexpr char kPendingHeader[] = "miradel-pending 1";

// Adds an entry, creating the record. The latest model directory and name replace earlier ones: a
// working copy always belongs to the model the host has open. Thread-safe within the process. false
// when the record cannot be written, or for a name that is not one plain level or for texts that a
// line cannot hold.
bool RecordUnwritten(const Path& workingCopy, const Path& modelDir, const std::string& modelName, UnwrittenEntry entry);
// Several at once, in one store; false (nothing recorded) when any one would be refused.
bool RecordUnwritten(const Path& workingCopy, const Path& modelDir, const std::string& modelName,
                     std::vector<UnwrittenEntry> entries);
// Removes the entry for that file (once it has been written after all); removes the record when
// it is empty.
void ClearUnwritten(const Path& workingCopy, const std::string& file);
void ClearUnwritten(const Path& workingCopy, const std::vector<std::string>& files);
// Also true when a record is there but cannot be read, and when the journal names a change still on
// its way: the working copy is kept rather than risk losing what it holds.
bool HasUnwritten(const Path& workingCopy);
// The record's entries followed by the journal's (a later entry for a name replaces an earlier
// one); model directory and name from the journal when it names them. false when neither names any.
bool ReadUnwrittenChanges(const Path& workingCopy, UnwrittenRecord* out);
// Moves the journal's entries into the record and removes the journal, for one who writes them
// back; false (journal kept) when the record cannot be written.
bool AbsorbPendingJournal(const Path& workingCopy);
// false: missing, empty, or unreadable / garbled. Entries whose name is not one plain level are
// skipped; working_copy comes from the record's own path, never from its contents.
bool ReadUnwrittenRecord(const std::string& recordPath, UnwrittenRecord* out);
// Every record of working copies under dir (the user's temporary path and the version folders in
// it), each with its journal's entries (ReadUnwrittenChanges), sorted by working copy. Records or
// journals that are there but cannot be read are added to unreadable.
std::vector<UnwrittenRecord> FindUnwrittenRecords(const Path& dir,
                                                  std::vector<std::string>* unreadable = nullptr);
// One line on the platform's diagnostic channel (standard error; the debugger's output on
// Windows): the working copy is kept, with the model, its path and how many files it holds.
void ReportKeptWorkingCopy(const UnwrittenRecord& record);

// The text a record is stored as (whatever it holds, unchecked): for forging records in tests.
std::string UnwrittenRecordText(const UnwrittenRecord& record);

}  // namespace miradel
