// The request queue: what it accepts, the order it serves, and its index of waiting requests.
#include <gtest/gtest.h>

#include <algorithm>
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
int Push(FilePathQueue& q, const QueueNode& request) {
  auto* node = new QueueNode(request);
  const int taken = q.PushBackUnique(node);
  if (!taken) delete node;
  return taken;
}

// "<source> <target> <kind>;" of each request, served until the queue is empty.
std::string Drain(FilePathQueue& q) {
  std::string served;
  for (QueueNode out; !q.IsEmpty(); q.PopFront()) {
    q.PeekFront(out);
    EXPECT_EQ(out.m_pNext, nullptr) << "the link is not copied out";
    served += out.m_strSource + " " + out.m_strTarget + " " + std::to_string(out.m_nKind) + ";";
  }
  EXPECT_TRUE(q.Head() == nullptr && q.Tail() == nullptr && q.PopFront() == 0);
  return served;
}

TEST(FilePathQueueTest, RefusesEqualRequestsNullNodesAndEmptySourcesAndServesInArrivalOrder) {
  FilePathQueue q;
  QueueNode out = Request(RequestDelete, "junk", "junk");
  out.m_pNext = &out;
  q.PeekFront(out);  // an empty queue leaves it reset
  EXPECT_TRUE(out.m_strSource.empty() && out.m_strTarget.empty() && out.m_nKind == RequestCopy && !out.m_pNext);

  EXPECT_EQ(Push(q, Request(RequestCopy, "C:\\M\\Pump.DAT", "X")), 1);
  EXPECT_EQ(Push(q, Request(RequestCopy, "c:\\m\\pump.dat", "Y")), 0) << "targets are not compared";
  EXPECT_EQ(Push(q, Request(RequestDelete, "C:\\M\\Pump.DAT", "qv")), 1) << "a delete is not a copy";
  const QueueNode probe = Request(RequestDelete, "C:\\M\\PUMP.DAT"), other_kind = Request(7, "C:\\M\\Pump.DAT");
  EXPECT_TRUE(q.Contains(&probe) && !q.Contains(&other_kind) && !q.Contains(nullptr));
  // Refused nodes stay the caller's: these live on the stack. An empty source would read as
  // "nothing queued" at the head and hold up every request behind it.
  QueueNode empty, duplicate = Request(RequestCopy, "C:\\M\\PUMP.dat");
  EXPECT_EQ(q.PushBackUnique(nullptr) + q.PushBackUnique(&empty) + q.PushBackUnique(&duplicate), 0);
  EXPECT_EQ(q.PushBackUnique(const_cast<QueueNode*>(q.Head())), 0) << "the linked node itself";
  EXPECT_EQ(Push(q, Request(RequestCopy, "d")), 1);
  EXPECT_EQ(q.GetCount(), 3);
  EXPECT_EQ(Drain(q), "C:\\M\\Pump.DAT X 1;C:\\M\\Pump.DAT qv 2;d t 1;");
}

// The index must agree with the list whatever the mix of operations: compared after every step
// with a naive model that scans for duplicates, and now and then the whole queue drained in order.
TEST(FilePathQueueTest, IndexAgreesWithANaiveModelUnderRandomUse) {
  std::mt19937 rng(20240611);
  FilePathQueue q;
  std::deque<QueueNode> model;
  auto in_model = [&](const QueueNode& r) {
    return std::any_of(model.begin(), model.end(), [&](const QueueNode& e) { return e.Equals(r); });
  };
  for (int step = 0; step < 20000; ++step) {
    const std::int32_t kind = rng() % 4 ? RequestCopy : RequestDelete;
    const QueueNode r = Request(kind, (rng() % 2 ? "F" : "f") + std::to_string(rng() % 40));
    const unsigned op = rng() % 100;
    if (op < 55) {
      ASSERT_EQ(Push(q, r), in_model(r) ? 0 : 1) << "step " << step;
      if (!in_model(r)) model.push_back(r);
    } else if (op < 98) {
      ASSERT_EQ(q.PopFront(), model.empty() ? 0 : 1);
      if (!model.empty()) model.pop_front();
    } else if (op < 99) {
      q.Clear();
      model.clear();
    } else {
      std::string expected;
      for (const QueueNode& e : model) expected += e.m_strSource + " t " + std::to_string(e.m_nKind) + ";";
      ASSERT_EQ(Drain(q), expected) << "step " << step;
      model.clear();
    }
    ASSERT_EQ(q.GetCount(), static_cast<int>(model.size()));
    ASSERT_EQ(q.Contains(&r), in_model(r)) << "step " << step;
  }
}

}  // namespace
}  // namespace miradel
