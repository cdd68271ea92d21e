// The request queue: what it accepts, the order it serves, and its index of waiting requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>

#include "base/path.h"
#include "base/text.h"
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

// Whatever the mix of operations, the queue agrees with a naive model that scans: a request is
// refused only when the youngest waiting for its working file equals it and has not begun; copies
// and deletes of one file alternate; removal leaves the rest in order. Now and then it is drained.
TEST(FilePathQueueTest, AgreesWithANaiveModelUnderRandomUse) {
  const std::string sep(1, miradel::kSep);
  std::mt19937 rng(20240611);
  FilePathQueue q;
  std::deque<QueueNode> model;
  bool begun = false;  // the model's head is being carried out
  auto refused = [&](const QueueNode& r) {
    for (auto e = model.rbegin(); e != model.rend(); ++e)
      if (text::EqualsNoCase(e->WorkingFile(), r.WorkingFile()))
        return e->Equals(r) && !(begun && &*e == &model.front());
    return false;
  };
  auto listed = [](const QueueNode& e) { return e.m_strSource + " " + e.m_strTarget + " " + std::to_string(e.m_nKind) + ";"; };
  for (int step = 0; step < 20000; ++step) {
    const std::string name = (rng() % 2 ? "F" : "f") + std::to_string(rng() % 12);
    const QueueNode r = rng() % 3 ? Request(RequestCopy, "w" + sep + name, "m") : Request(RequestDelete, "m" + sep + name, "w");
    const unsigned op = rng() % 100;
    if (op < 50) {
      const bool no = refused(r);
      ASSERT_EQ(Push(q, r), no ? 0 : 1) << "step " << step;
      if (!no) model.push_back(r);
    } else if (op < 80) {
      ASSERT_EQ(q.PopFront(), model.empty() ? 0 : 1);
      if (!model.empty()) model.pop_front();
      begun = false;
    } else if (op < 92) {
      QueueNode head;
      q.PeekFront(head);
      const bool right = rng() % 4 != 0;  // else a serial that is not the head's: nothing begins
      q.BeginFront(right ? head.m_nSerial : head.m_nSerial + 1000000);
      begun = begun || (right && !model.empty());
    } else if (op < 98) {  // one file's requests go, but one begun
      const auto same = [&](const QueueNode& e) { return text::EqualsNoCase(e.WorkingFile(), r.WorkingFile()); };
      std::string removed, expected;
      for (QueueNode* n : q.RemoveIf(same)) removed += listed(*n), delete n;
      for (auto e = model.begin() + begun; e != model.end();) e = same(*e) ? (expected += listed(*e), model.erase(e)) : e + 1;
      ASSERT_EQ(removed, expected) << "step " << step;
    } else {
      std::string expected;
      for (const QueueNode& e : model) expected += listed(e);
      if (op == 99) ASSERT_EQ(Drain(q), expected) << "step " << step;
      q.Clear();
      model.clear();
      begun = false;
    }
    ASSERT_EQ(q.GetCount(), static_cast<int>(model.size())) << "step " << step;
  }
}

}  // namespace
}  // namespace miradel
