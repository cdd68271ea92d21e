// The requests that the host's thread hands to the copy thread: copy one file into a directory, or
// delete one file. Served first in, first out.
//
// Which requests are refused: a request equal to the youngest one still waiting for the same file
// (the working copy's file it writes or removes), unless that one is already being carried out. So
// a copy, a delete and a copy of one file are three requests and the file ends as the last one left
// it; and a change made while its own write-back is under way is queued again, since the one under
// way may have read the file before the change.
//
// The queue has no lock of its own: every caller holds the control object's m_csQueue around each
// single operation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace miradel {

inline constexpr std::int32_t RequestCopy = 1;
inline constexpr std::int32_t RequestDelete = 2;

class QueueNode {
 public:
  // An empty request: what PeekFront gives when nothing is queued.
  QueueNode() = default;
  // Copies every field, the link included: see Detached for a value to keep.
  QueueNode(const QueueNode&) = default;
  QueueNode& operator=(const QueueNode&) = default;
  virtual ~QueueNode() = default;

  // The working file to be copied into the model directory (under its own name).
  static std::unique_ptr<QueueNode> Copy(std::string workingFile);
  // name (below the model directory) to be deleted there; the working copy workDir is where the
  // host removed it.
  static std::unique_ptr<QueueNode> Delete(std::string name, const std::string& workDir);
  // The model the request belongs to, given when it is queued: its directory and its name as the
  // host gave it (empty: taken from the working copy's name).
  void Place(const std::string& modelDir, std::string model);

  // A copy without the link and the queue's key: a value, never linked into a queue.
  QueueNode Detached() const;
  // Empty working file, name and model, a copy request, no successor, no serial.
  void Reset();
  // Nothing to carry out: an empty request (see PushBackUnique).
  bool IsEmpty() const { return m_strName.empty(); }
  // Same kind and same file ignoring letter case: the working file of a copy, the model's file of a
  // delete. The model directory of a copy plays no part: one file queued for two directories is
  // one request, while a copy and a delete of one file are two.
  bool Equals(const QueueNode& other) const;

  std::int32_t Kind() const { return m_nKind; }
  // The working copy's file the request is about: the one to copy; for a delete, the one the host
  // removed (the name's last level in the working copy).
  const std::string& WorkingFile() const { return m_strWorkingFile; }
  // The model directory the request writes into or deletes from, ending in a separator.
  const std::string& ModelDirectory() const { return m_strModelDir; }
  // The model's file that is written or deleted.
  std::string ModelFile() const { return m_strModelDir + m_strName; }
  const std::string& Model() const { return m_strModel; }
  // Given by the queue when the node is linked, never used twice; 0 for a node never queued.
  std::uint64_t Serial() const { return m_nSerial; }
  const QueueNode* Next() const { return m_pNext; }

 private:
  friend class FilePathQueue;
  std::int32_t m_nKind = RequestCopy;
  std::string m_strWorkingFile;
  std::string m_strModelDir;
  // The model's file below m_strModelDir.
  std::string m_strName;
  std::string m_strModel;
  QueueNode* m_pNext = nullptr;
  std::uint64_t m_nSerial = 0;
  std::string m_key;  // the folded working file, while linked
};

class FilePathQueue {
 public:
  FilePathQueue() = default;
  virtual ~FilePathQueue();
  FilePathQueue(const FilePathQueue&) = delete;
  FilePathQueue& operator=(const FilePathQueue&) = delete;

  // 1: node (allocated with new) is linked at the tail and belongs to the queue from now on.
  // 0: refused (see the top of this file), the queue is unchanged and the caller still owns node.
  // Also refused are a null node and an empty request: the copy thread reads an empty request at
  // the head as "nothing queued", so it would stay at the head for ever and hold up every request
  // behind it.
  // Only std::bad_alloc is thrown, with the queue unchanged and node still the caller's.
  int PushBackUnique(QueueNode* node);
  // out is Reset, then gets a copy of the head (not its link); an empty queue leaves it empty.
  void PeekFront(QueueNode& out) const;
  // Destroys the head; 0 when the queue is empty.
  int PopFront();
  // Destroys the head if it is the request with that serial; 0 when it is not (it was removed).
  int PopFrontIf(std::uint64_t serial);
  // The requests from the head, whose serial is `head`, through the one with serial `last` are
  // being carried out from now on (and no others): a request equal to one of them is no longer a
  // duplicate. Nothing happens when the head is another request.
  void BeginFront(std::uint64_t head, std::uint64_t last);
  bool IsEmpty() const { return m_nCount == 0; }
  int GetCount() const { return m_nCount; }
  // Destroys every request, head to tail; always 1.
  int Clear();
  // Unlinks every request for which pred is true (one being carried out only with inProgressToo)
  // and hands them over in queue order: the caller owns them.
  std::vector<QueueNode*> RemoveIf(const std::function<bool(const QueueNode&)>& pred, bool inProgressToo = false);
  // True when a waiting request Equals node (false for a null node). A walk: only tests ask.
  bool Contains(const QueueNode* node) const;

  const QueueNode* Head() const { return m_pHead; }
  const QueueNode* Tail() const { return m_pTail; }

 private:
  struct Latest {
    QueueNode* node;  // the youngest request for the file
    int count;        // how many are linked
  };
  static std::string KeyOf(const QueueNode& node);
  // Takes node out of the index (node is still linked or just unlinked).
  void Unindex(QueueNode* node);

  QueueNode* m_pHead = nullptr;
  QueueNode* m_pTail = nullptr;
  std::int32_t m_nCount = 0;
  std::uint64_t m_lastSerial = 0;
  std::uint64_t m_inProgressTo = 0;  // the requests with serials up to this one are carried out
  // By working file: the duplicate test costs O(1) instead of a walk along a list that may hold a
  // whole model's files.
  std::unordered_map<std::string, Latest> m_latest;
};

}  // namespace miradel
