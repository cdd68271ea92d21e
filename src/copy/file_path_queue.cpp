#include "copy/file_path_queue.h"

#include <cstring>

#include "base/text.h"

namespace miradel {

using text::FoldCase;

void QueueNode::Reset() {
  m_strSource.clear();
  m_strTarget.clear();
  m_nKind = RequestCopy;
  m_pNext = nullptr;
}

bool QueueNode::Equals(const QueueNode& other) const {
  return m_nKind == other.m_nKind && text::EqualsNoCase(m_strSource, other.m_strSource);
}

FilePathQueue::~FilePathQueue() { Clear(); }

std::string FilePathQueue::KeyOf(const QueueNode& node) {
  char kind[sizeof node.m_nKind];
  std::memcpy(kind, &node.m_nKind, sizeof kind);
  std::string key(kind, sizeof kind);
  key.reserve(key.size() + node.m_strSource.size());
  // Folded exactly as Equals folds, so that the index and Equals never disagree.
  for (char c : node.m_strSource) key += FoldCase(c);
  return key;
}

int FilePathQueue::PushBackUnique(QueueNode* node) {
  if (!node || node->m_strSource.empty()) return 0;
  auto inserted = m_index.insert(KeyOf(*node));
  if (!inserted.second) return 0;
  try {
    m_keyOrder.push_back(&*inserted.first);
  } catch (...) {
    m_index.erase(inserted.first);
    throw;
  }
  node->m_pNext = nullptr;
  if (m_pTail)
    m_pTail->m_pNext = node;
  else
    m_pHead = node;
  m_pTail = node;
  ++m_nCount;
  return 1;
}

void FilePathQueue::PeekFront(QueueNode& out) const {
  out.Reset();
  if (!m_pHead) return;
  out.m_strSource = m_pHead->m_strSource;
  out.m_strTarget = m_pHead->m_strTarget;
  out.m_nKind = m_pHead->m_nKind;
}

int FilePathQueue::PopFront() {
  if (m_nCount == 0 || !m_pHead) return 0;
  QueueNode* head = m_pHead;
  m_pHead = head->m_pNext;
  if (!m_pHead) m_pTail = nullptr;
  --m_nCount;
  m_index.erase(m_index.find(*m_keyOrder.front()));
  m_keyOrder.pop_front();
  delete head;
  return 1;
}

int FilePathQueue::Clear() {
  QueueNode* node = m_pHead;
  while (node) {
    QueueNode* next = node->m_pNext;
    delete node;
    node = next;
  }
  m_pHead = m_pTail = nullptr;
  m_nCount = 0;
  m_keyOrder.clear();
  m_index.clear();
  return 1;
}

bool FilePathQueue::Contains(const QueueNode* node) const {
  if (!node || m_nCount == 0) return false;
  return m_index.count(KeyOf(*node)) != 0;
}

}  // namespace miradel
