#include "copy/file_path_queue.h"

#include "base/path.h"
#include "base/text.h"

namespace miradel {

std::unique_ptr<QueueNode> QueueNode::Copy(std::string workingFile) {
  auto node = std::make_unique<QueueNode>();
  node->m_nKind = RequestCopy;
  node->m_strName = path::BaseName(workingFile);
  node->m_strWorkingFile = std::move(workingFile);
  return node;
}

std::unique_ptr<QueueNode> QueueNode::Delete(std::string name, const std::string& workDir) {
  auto node = std::make_unique<QueueNode>();
  node->m_nKind = RequestDelete;
  node->m_strWorkingFile = path::WithSeparator(workDir) + path::BaseName(name);
  node->m_strName = std::move(name);
  return node;
}

void QueueNode::Place(const std::string& modelDir, std::string model) {
  m_strModelDir = path::WithSeparator(modelDir);
  m_strModel = std::move(model);
}

QueueNode QueueNode::Detached() const {
  QueueNode copy(*this);
  copy.m_pNext = nullptr;
  copy.m_key.clear();
  return copy;
}

void QueueNode::Reset() { *this = QueueNode(); }

bool QueueNode::Equals(const QueueNode& other) const {
  if (m_nKind != other.m_nKind) return false;
  return m_nKind == RequestDelete ? text::EqualsNoCase(ModelFile(), other.ModelFile())
                                  : text::EqualsNoCase(m_strWorkingFile, other.m_strWorkingFile);
}

FilePathQueue::~FilePathQueue() { Clear(); }

std::string FilePathQueue::KeyOf(const QueueNode& node) { return text::LowerCase(node.WorkingFile()); }

int FilePathQueue::PushBackUnique(QueueNode* node) {
  if (!node || node->IsEmpty()) return 0;
  std::string key = KeyOf(*node);
  auto found = m_latest.find(key);
  if (found != m_latest.end()) {
    const QueueNode* latest = found->second.node;
    if (latest->m_nSerial > m_inProgressTo && latest->Equals(*node)) return 0;
    found->second = {node, found->second.count + 1};
  } else {
    found = m_latest.emplace(key, Latest{node, 1}).first;
  }
  node->m_key = std::move(key);
  node->m_nSerial = ++m_lastSerial;
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
  out = m_pHead ? m_pHead->Detached() : QueueNode();
}

void FilePathQueue::Unindex(QueueNode* node) {
  auto found = m_latest.find(node->m_key);
  if (found == m_latest.end()) return;
  if (--found->second.count == 0) {
    m_latest.erase(found);
    return;
  }
  if (found->second.node != node) return;
  // The youngest went while older ones wait (only RemoveIf does that): the youngest of those.
  QueueNode* youngest = nullptr;
  for (QueueNode* n = m_pHead; n; n = n->m_pNext)
    if (n != node && n->m_key == node->m_key) youngest = n;
  found->second.node = youngest;
}

int FilePathQueue::PopFront() {
  if (m_nCount == 0 || !m_pHead) return 0;
  QueueNode* head = m_pHead;
  Unindex(head);
  m_pHead = head->m_pNext;
  if (!m_pHead) m_pTail = nullptr;
  --m_nCount;
  delete head;
  return 1;
}

int FilePathQueue::PopFrontIf(std::uint64_t serial) {
  if (!m_pHead || m_pHead->m_nSerial != serial) return 0;
  return PopFront();
}

void FilePathQueue::BeginFront(std::uint64_t head, std::uint64_t last) {
  // Serials grow from the head to the tail: the ones carried out are those up to `last`.
  if (m_pHead && m_pHead->m_nSerial == head) m_inProgressTo = last;
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
  m_inProgressTo = 0;
  m_latest.clear();
  return 1;
}

std::vector<QueueNode*> FilePathQueue::RemoveIf(const std::function<bool(const QueueNode&)>& pred,
                                                bool inProgressToo) {
  std::vector<QueueNode*> removed;
  QueueNode* previous = nullptr;
  for (QueueNode* node = m_pHead; node;) {
    QueueNode* next = node->m_pNext;
    if ((inProgressToo || node->m_nSerial > m_inProgressTo) && pred(*node)) {
      removed.push_back(node);
      Unindex(node);
      (previous ? previous->m_pNext : m_pHead) = next;
      if (m_pTail == node) m_pTail = previous;
      --m_nCount;
      node->m_pNext = nullptr;
      node->m_key.clear();
    } else {
      previous = node;
    }
    node = next;
  }
  return removed;
}

bool FilePathQueue::Contains(const QueueNode* node) const {
  if (!node) return false;
  for (const QueueNode* n = m_pHead; n; n = n->m_pNext)
    if (n->Equals(*node)) return true;
  return false;
}

}  // namespace miradel
