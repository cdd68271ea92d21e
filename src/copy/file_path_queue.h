// The requests that the host's thread hands to the copy thread: copy one file into a directory, or
// delete one file. Served first in, first out; a request equal to one still waiting is refused.
//
// The queue has no lock of its own: every caller holds the control object's m_csQueue around each
// single operation.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_set>

namespace miradel {

inline constexpr std::int32_t RequestCopy = 1;
inline constexpr std::int32_t RequestDelete = 2;

class QueueNode {
 public:
  QueueNode() = default;
  // Copies all four fields, the link included: a copy is a value, never linked into a queue.
  QueueNode(const QueueNode&) = default;
  QueueNode& operator=(const QueueNode&) = default;
  virtual ~QueueNode() = default;

  // Empty source and target, a copy request, no successor.
  void Reset();
  // Same kind and same source ignoring letter case. The target plays no part: one file queued for
  // two directories is one request, while a copy and a delete of one path are two.
  bool Equals(const QueueNode& other) const;

  std::string m_strSource;  // the file to copy or to delete
  std::string m_strTarget;  // copy: the directory to copy into; delete: the QV temporary directory
  std::int32_t m_nKind = RequestCopy;
  QueueNode* m_pNext = nullptr;
};

class FilePathQueue {
 public:
  FilePathQueue() = default;
  virtual ~FilePathQueue();
  FilePathQueue(const FilePathQueue&) = delete;
  FilePathQueue& operator=(const FilePathQueue&) = delete;

  // 1: node (allocated with new) is linked at the tail and belongs to the queue from now on.
  // 0: refused, the queue is unchanged and the caller still owns node. Refused are a null node, a
  // request equal to one waiting, and a request with an empty source: the copy thread reads an
  // empty source at the head as "nothing queued", so such a request would stay at the head for
  // ever and hold up every request behind it.
  // Only std::bad_alloc is thrown, with the queue unchanged and node still the caller's.
  int PushBackUnique(QueueNode* node);
  // out is Reset, then gets the head's source, target and kind (not its link); an empty queue
  // leaves it reset, with an empty source.
  void PeekFront(QueueNode& out) const;
  // Destroys the head; 0 when the queue is empty.
  int PopFront();
  bool IsEmpty() const { return m_nCount == 0; }
  int GetCount() const { return m_nCount; }
  // Destroys every request, head to tail; always 1.
  int Clear();
  // True when a waiting request Equals node (false for a null node).
  bool Contains(const QueueNode* node) const;

  const QueueNode* Head() const { return m_pHead; }
  const QueueNode* Tail() const { return m_pTail; }

 private:
  // Kind and lower-cased source in one string: the identity that Equals compares.
  static std::string KeyOf(const QueueNode& node);

  QueueNode* m_pHead = nullptr;
  QueueNode* m_pTail = nullptr;
  std::int32_t m_nCount = 0;
  // The waiting requests' keys, so that the duplicate test costs O(1) instead of a walk along a
  // list that may hold a whole model's files. m_keyOrder holds the same keys in list order; a
  // node's key is taken once, when it is linked, so a linked node whose fields someone changes
  // afterwards cannot leave a stale key behind when it is removed.
  std::unordered_set<std::string> m_index;
  std::deque<const std::string*> m_keyOrder;
};

}  // namespace miradel
