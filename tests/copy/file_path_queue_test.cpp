// The request queue: what it accepts, the order it serves, and its index of waiting requests.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

#include "base/path.h"
#include "base/text.h"
#include "copy/file_path_queue.h"

namespace miradel {
namespace {

const std::string S(1, kSep);

// A copy of the working file file into the model directory dir, or a delete of the model's file
// file, whose working copy is dir.
QueueNode Request(std::int32_t kind, const std::string& file, const std::string& dir = "t") {
  const bool del = kind == RequestDelete;
  std::unique_ptr<QueueNode> node = del ? QueueNode::Delete(path::BaseName(file), dir) : QueueNode::Copy(file);
  node->Place(del ? path::DirectoryPart(file) : dir, "");
  return *node;
}

// As the producers do: a refused node is destroyed by its maker.
int Push(FilePathQueue& q, const QueueNode& request) {
  auto* node = new QueueNode(request);
  const int taken = q.PushBackUnique(node);
  if (!taken) delete node;
  return taken;
}

std::string Listed(const QueueNode& r) {
  return std::to_string(r.Kind()) + " " + r.WorkingFile() + " " + r.ModelFile() + ";";
}

// Each request as Listed, served until the queue is empty.
std::string Drain(FilePathQueue& q) {
  std::string served;
  for (QueueNode out; !q.IsEmpty(); q.PopFront()) {
    q.PeekFront(out);
    EXPECT_EQ(out.Next(), nullptr) << "the link is not copied out";
    served += Listed(out);
  }
  EXPECT_EQ(q.Head(), nullptr);
  EXPECT_EQ(q.Tail(), nullptr);
  EXPECT_EQ(q.PopFront(), 0);
  return served;
}

TEST(FilePathQueueTest, RefusesEqualRequestsNullNodesAndEmptyOnesAndServesInArrivalOrder) {
  FilePathQueue q;
  QueueNode out = Request(RequestDelete, "m" + S + "junk", "junk");
  q.PeekFront(out);  // an empty queue leaves it empty
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(out.Kind(), RequestCopy);

  const std::string pump = "M" + S + "Pump.DAT";
  EXPECT_EQ(Push(q, Request(RequestCopy, pump, "X")), 1);
  EXPECT_EQ(Push(q, Request(RequestCopy, "m" + S + "pump.dat", "Y")), 0) << "model directories are not compared";
  EXPECT_EQ(Push(q, Request(RequestDelete, "X" + S + "Pump.DAT", "W")), 1) << "a delete is not a copy";
  EXPECT_TRUE(q.Contains(&*QueueNode::Copy("m" + S + "PUMP.dat")));
  EXPECT_FALSE(q.Contains(&*QueueNode::Copy("X" + S + "Pump.DAT"))) << "the kind is compared";
  EXPECT_FALSE(q.Contains(nullptr));
  // Refused nodes stay the caller's: these live on the stack. An empty request would read as
  // "nothing queued" at the head and hold up every request behind it.
  QueueNode empty, duplicate = Request(RequestCopy, "M" + S + "PUMP.dat");
  EXPECT_EQ(q.PushBackUnique(nullptr), 0);
  EXPECT_EQ(q.PushBackUnique(&empty), 0);
  EXPECT_EQ(q.PushBackUnique(&duplicate), 0);
  EXPECT_EQ(q.PushBackUnique(const_cast<QueueNode*>(q.Head())), 0) << "the linked node itself";
  EXPECT_EQ(Push(q, Request(RequestCopy, "d")), 1);
  EXPECT_EQ(q.GetCount(), 3);
  EXPECT_EQ(Drain(q), "1 " + pump + " X" + S + "Pump.DAT;2 W" + S + "Pump.DAT X" + S + "Pump.DAT;1 d t" + S + "d;");
}

// Whatever the mix of operations, the queue agrees with a naive model that scans: a request is
// refused only when the youngest waiting for its working file equals it and has not begun; copies
// and deletes of one file alternate; removal leaves the rest in order. Now and then it is drained.
TEST(FilePathQueueTest, AgreesWithANaiveModelUnderRandomUse) {
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
  for (int step = 0; step < 20000; ++step) {
    const std::string name = (rng() % 2 ? "F" : "f") + std::to_string(rng() % 12);
    const QueueNode r = rng() % 3 ? Request(RequestCopy, "w" + S + name, "m") : Request(RequestDelete, "m" + S + name, "w");
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
      q.BeginFront(right ? head.Serial() : head.Serial() + 1000000);
      begun = begun || (right && !model.empty());
    } else if (op < 98) {  // one file's requests go, but one begun
      const auto same = [&](const QueueNode& e) { return text::EqualsNoCase(e.WorkingFile(), r.WorkingFile()); };
      std::string removed, expected;
      for (QueueNode* n : q.RemoveIf(same)) removed += Listed(*n), delete n;
      for (auto e = model.begin() + begun; e != model.end();) e = same(*e) ? (expected += Listed(*e), model.erase(e)) : e + 1;
      ASSERT_EQ(removed, expected) << "step " << step;
    } else {
      std::string expected;
      for (const QueueNode& e : model) expected += Listed(e);
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
