// The request queue: what it accepts, the order it serves, and its index of waiting requests.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

#include "copy/file_path_queue.h"

namespace miradel {
namespace {

QueueNode Request(std::int32_t kind, const std::string& source, const std::string& target = "t") {
  QueueNode node;
  node.m_nKind = kind;
  node.m_strSource = source;
  node.m_strTarget = target;
  return node;
}

// As the producers do: a refused node is destroyed by its maker.
int Push(FilePathQueue& q, std::int32_t kind, const std::string& source, const std::string& target = "t") {
  auto* node = new QueueNode(Request(kind, source, target));
  int taken = q.PushBackUnique(node);
  if (!taken) delete node;
  return taken;
}

std::string Drain(FilePathQueue& q) {
  std::string order;
  for (QueueNode out; !q.IsEmpty(); q.PopFront()) {
    q.PeekFront(out);
    order += out.m_strSource;
  }
  return order;
}

TEST(FilePathQueueTest, RefusesEqualRequestsNullNodesAndEmptySources) {
  FilePathQueue q;
  EXPECT_EQ(Push(q, RequestCopy, "C:\\M\\Pump.DAT", "X\\"), 1);
  EXPECT_EQ(Push(q, RequestCopy, "c:\\m\\pump.dat", "Y\\"), 0) << "targets are not compared";
  EXPECT_EQ(Push(q, RequestDelete, "C:\\M\\Pump.DAT"), 1) << "a delete is not a copy";
  EXPECT_EQ(q.GetCount(), 2);
  QueueNode probe = Request(RequestDelete, "C:\\M\\PUMP.DAT");
  EXPECT_TRUE(q.Contains(&probe));
  probe.m_nKind = 7;
  EXPECT_FALSE(q.Contains(&probe));
  EXPECT_FALSE(q.Contains(nullptr));
  EXPECT_TRUE(Request(RequestCopy, "D\\f.txt").Equals(Request(RequestCopy, "d\\F.TXT", "elsewhere")));

  // Refused nodes stay the caller's: these live on the stack. An empty source would read as
  // "nothing queued" at the head and hold up every request behind it.
  EXPECT_EQ(q.PushBackUnique(nullptr), 0);
  QueueNode empty, duplicate = Request(RequestCopy, "C:\\M\\PUMP.dat");
  EXPECT_EQ(q.PushBackUnique(&empty), 0);
  EXPECT_EQ(q.PushBackUnique(&duplicate), 0);
  EXPECT_EQ(q.PushBackUnique(const_cast<QueueNode*>(q.Head())), 0) << "the linked node itself";
  EXPECT_EQ(q.GetCount(), 2);
  EXPECT_EQ(q.Tail()->m_pNext, nullptr);
}

TEST(FilePathQueueTest, ServesInArrivalOrderAndKeepsHeadAndTailRight) {
  FilePathQueue q;
  QueueNode out = Request(RequestDelete, "junk", "junk");
  out.m_pNext = &out;
  q.PeekFront(out);
  EXPECT_EQ(out.m_strSource + out.m_strTarget, "");
  EXPECT_EQ(out.m_nKind, RequestCopy);
  EXPECT_EQ(out.m_pNext, nullptr);
  EXPECT_EQ(q.PopFront(), 0);
  EXPECT_TRUE(q.Head() == nullptr && q.Tail() == nullptr && q.GetCount() == 0);

  ASSERT_EQ(Push(q, RequestCopy, "a"), 1);
  EXPECT_EQ(q.Head(), q.Tail());
  EXPECT_EQ(q.PopFront(), 1);
  EXPECT_TRUE(q.Head() == nullptr && q.Tail() == nullptr && q.IsEmpty());
  auto* b = new QueueNode(Request(RequestCopy, "b"));
  ASSERT_EQ(q.PushBackUnique(b), 1);
  EXPECT_TRUE(q.Head() == b && q.Tail() == b);
  Push(q, RequestDelete, "c", "qv");
  Push(q, RequestCopy, "d");
  q.PeekFront(out);
  EXPECT_EQ(out.m_strSource, "b");
  EXPECT_EQ(out.m_pNext, nullptr) << "the link is not copied out";
  EXPECT_EQ(Drain(q), "bcd");

  for (const char* s : {"a", "b", "c"}) Push(q, RequestCopy, s);
  EXPECT_EQ(q.Clear(), 1);
  EXPECT_TRUE(q.IsEmpty() && q.Head() == nullptr && q.Tail() == nullptr);
  EXPECT_EQ(Push(q, RequestCopy, "c"), 1) << "nothing of the cleared requests is remembered";
  Push(q, RequestCopy, "a");
  EXPECT_EQ(Drain(q), "ca");
}

// The index must agree with the list whatever the mix of operations: compared after every step
// with a naive model that scans for duplicates.
TEST(FilePathQueueTest, IndexAgreesWithANaiveModelUnderRandomUse) {
  std::mt19937 rng(20240611);
  FilePathQueue q;
  std::deque<QueueNode> model;
  auto in_model = [&](const QueueNode& r) {
    for (const QueueNode& e : model)
      if (e.Equals(r)) return true;
    return false;
  };
  for (int step = 0; step < 20000; ++step) {
    std::string source = (rng() % 2 ? "F" : "f") + std::to_string(rng() % 40);
    QueueNode r = Request(rng() % 4 ? RequestCopy : RequestDelete, source);
    int op = static_cast<int>(rng() % 100);
    if (op < 55) {
      bool duplicate = in_model(r);
      ASSERT_EQ(Push(q, r.m_nKind, source), duplicate ? 0 : 1) << "step " << step;
      if (!duplicate) model.push_back(r);
    } else if (op < 98) {
      ASSERT_EQ(q.PopFront(), model.empty() ? 0 : 1);
      if (!model.empty()) model.pop_front();
    } else {
      q.Clear();
      model.clear();
    }
    ASSERT_EQ(q.GetCount(), static_cast<int>(model.size()));
    ASSERT_EQ(q.Contains(&r), in_model(r)) << "step " << step;
    if (step % 97 != 0) continue;
    const QueueNode* node = q.Head();
    for (const QueueNode& e : model) {
      ASSERT_NE(node, nullptr);
      EXPECT_TRUE(node->Equals(e) && node->m_strSource == e.m_strSource);
      if (!node->m_pNext) EXPECT_EQ(node, q.Tail());
      node = node->m_pNext;
    }
    EXPECT_EQ(node, nullptr);
  }
}

}  // namespace
}  // namespace miradel
