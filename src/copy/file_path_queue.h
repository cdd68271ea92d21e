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
#include <string>
#include <unordered_map>
#include <vector>

namespace miradel {

inline constexpr std::int32_t RequestCopy = 1;
inline constexpr std::int32_t RequestDelete = 2;

class QueueNode {
 public:
  QueueNode() = default;
  // Copies every field, the link included: a copy is a value, never linked into a queue.
  QueueNode(const QueueNode&) = default;
  QueueNode& operator=(const QueueNode&) = default;
  virtual ~QueueNode() = default;

  // Empty source, target and model, a copy request, no successor, no serial.
  void Reset();
  // Same kind and same source ignoring letter case. The target plays no part: one file queued for
  // two directories is one request, while a copy and a delete of one path are two.
  bool Equals(const QueueNode& other) const;
  // The working copy's file the request is about: the source of a copy; for a delete, the file of
  // that name in the working copy (the target).
  std::string WorkingFile() const;
  // The model directory the request writes into or deletes from, ending in a separator.
  std::string ModelDirectory() const;

  std::string m_strSource;  // the file to copy or to delete
  std::string m_strTarget;  // copy: the directory to copy into; delete: the QV temporary directory
  std::int32_t m_nKind = RequestCopy;
  QueueNode* m_pNext = nullptr;
  // The model's name as the host gave it: with the model directory it names the lock that guards
  // the request. Empty: taken from the working copy's name.
  std::string m_strModel;
  // Given by the queue when the node is linked, never used twice; 0 for a node never queued.
  std::uint64_t m_nSerial = 0;

 private:
  friend class FilePathQueue;
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
  // Also refused are a null node and a request with an empty source: the copy thread reads an
  // empty source at the head as "nothing queued", so such a request would stay at the head for
  // ever and hold up every request behind it.
  // Only std::bad_alloc is thrown, with the queue unchanged and node still the caller's.
  int PushBackUnique(QueueNode* node);
  // out is Reset, then gets a copy of the head (not its link); an empty queue leaves it reset, with
  // an empty source.
  void PeekFront(QueueNode& out) const;
  // Destroys the head; 0 when the queue is empty.
  int PopFront();
  // Destroys the head if it is the request with that serial; 0 when it is not (it was removed).
  int PopFrontIf(std::uint64_t serial);
  // The head with that serial is being carried out from now on: a request equal to it is no
  // longer a duplicate. Nothing happens when the head is another request.
  void BeginFront(std::uint64_t serial);
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
  std::uint64_t m_inProgress = 0;
  // By working file: the duplicate test costs O(1) instead of a walk along a list that may hold a
  // whole model's files.
  std::unordered_map<std::string, Latest> m_latest;
};

}  // namespace miradel
