#include "server/intake/request_queue.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "server/base/event_log_capture.h"

namespace {

class QueueTest : public testing::Test {
 protected:
  EventLogCapture log_;
};

std::string PopUnderflowText(CRequestQueue& q) {
  try {
    q.Pop();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST_F(QueueTest, FirstInFirstOutAndReuseAfterEmpty) {
  CRequestQueue q;
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_EQ(PopUnderflowText(q), "SB Queue underflow !");
  EXPECT_TRUE(q.IsEmpty());  // still usable after the underflow
  q.Push({"A\n", 1});
  EXPECT_FALSE(q.IsEmpty());
  q.Push({"B\n", 2});
  q.Push({"C\n", -3});
  for (auto [text, time] : {std::pair{"A\n", 1}, {"B\n", 2}, {"C\n", -3}}) {
    RequestEntry e = q.Pop();
    EXPECT_EQ(e.text, text);
    EXPECT_EQ(e.time, time);
  }
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_EQ(PopUnderflowText(q), "SB Queue underflow !");
  q.Push({"D\n", 4});
  EXPECT_EQ(q.Pop().text, "D\n");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(QueueTest, CapsByEntriesAndBytesWithOneMessagePerBurst) {
  CRequestQueue q(3, 10);
  EXPECT_TRUE(q.Push({"1234", 0}));
  EXPECT_TRUE(q.Push({"5678", 0}));
  EXPECT_FALSE(q.Push({"abc", 0}));  // 11 bytes would exceed 10
  EXPECT_EQ(log_.lines().size(), 1u);
  EXPECT_TRUE(q.Push({"ab", 0}));  // exactly 10
  EXPECT_FALSE(q.Push({"", 0}));   // 4th entry
  EXPECT_FALSE(q.Push({"a", 0}));
  EXPECT_EQ(q.size(), 3u);
  EXPECT_EQ(q.dropped(), 3u);

  EXPECT_EQ(q.Pop().text, "1234");
  EXPECT_TRUE(q.Push({"x", 0}));  // one place freed, still more than half full
  EXPECT_FALSE(q.Push({"y", 0}));
  EXPECT_FALSE(q.Push({"z", 0}));
  ASSERT_EQ(log_.lines().size(), 1u);  // one burst so far
  EXPECT_EQ(log_.lines()[0], "Request queue full: reports are dropped until it drains");
  EXPECT_EQ(q.Pop().text, "5678");
  EXPECT_EQ(q.Pop().text, "ab");
  EXPECT_EQ(q.Pop().text, "x");
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_TRUE(q.Push({"0123456789", 0}));  // byte count went back to 0; the burst is over
  EXPECT_FALSE(q.Push({"more", 0}));
  EXPECT_EQ(log_.lines().size(), 2u);
}

TEST_F(QueueTest, AReportAlreadyWaitingIsNotQueuedAgain) {
  CRequestQueue q(2, 100);
  EXPECT_TRUE(q.Push({"A\n", 1}));
  EXPECT_TRUE(q.Push({"A\n", 2}));
  EXPECT_TRUE(q.Push({"B\n", 3}));
  EXPECT_TRUE(q.Push({"A\n", 4}));  // the queue is full, but A waits already
  EXPECT_EQ(q.size(), 2u);
  EXPECT_EQ(q.dropped(), 0u);
  EXPECT_EQ(q.Pop().time, 1);
  EXPECT_TRUE(q.Push({"A\n", 5}));  // no longer waiting: queued behind B
  EXPECT_FALSE(q.Push({"C\n", 6}));
  EXPECT_EQ(q.Pop().text, "B\n");
  RequestEntry last = q.Pop();
  EXPECT_EQ(last.text, "A\n");
  EXPECT_EQ(last.time, 5);
  EXPECT_EQ(log_.lines().size(), 1u);  // only the burst of C
  // The same text from another address is another report.
  EXPECT_TRUE(q.Push({"A\n", 7, 0x0A000001}));
  EXPECT_TRUE(q.Push({"A\n", 8, 0x0A000002}));
  EXPECT_TRUE(q.Push({"A\n", 9, 0x0A000002}));
  EXPECT_EQ(q.Pop().peer_address, 0x0A000001u);
  EXPECT_EQ(q.Pop().time, 8);
}

TEST_F(QueueTest, SendersTakeTurnsAndAFloodPushesOutOnlyItsOwn) {
  constexpr uint32_t kFlood = 0x0A000001, kAgent = 0x0A000002, kSite = 0x0A000003;
  CRequestQueue q(6, 1000);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(q.Push({"f" + std::to_string(i), i, kFlood}));
  EXPECT_TRUE(q.Push({"a0", 10, kAgent}));
  EXPECT_TRUE(q.Push({"s0", 11, kSite}));
  // Full: the flood's newest makes room for the other senders' reports...
  EXPECT_TRUE(q.Push({"a1", 12, kAgent}));
  EXPECT_TRUE(q.Push({"s1", 13, kSite}));
  // ...until it has no more waiting than they do: then the newcomer goes.
  EXPECT_FALSE(q.Push({"f9", 14, kFlood}));
  EXPECT_FALSE(q.Push({"a2", 15, kAgent}));
  EXPECT_EQ(q.dropped(), 4u);
  EXPECT_EQ(log_.lines().size(), 1u);  // one burst
  std::vector<std::string> order;
  for (const RequestEntry& e : q.PopUpTo(4)) order.push_back(e.text);
  order.push_back(q.Pop().text);
  for (const RequestEntry& e : q.PopUpTo(100)) order.push_back(e.text);
  EXPECT_EQ(order, (std::vector<std::string>{"f0", "a0", "s0", "f1", "a1", "s1"}));
  EXPECT_TRUE(q.PopUpTo(5).empty());
  // A sender that comes back waits behind those already waiting.
  q.Push({"f10", 20, kFlood});
  q.Push({"f11", 21, kFlood});
  q.Push({"a10", 22, kAgent});
  q.Push({"u", 23});
  order.clear();
  for (const RequestEntry& e : q.PopUpTo(4)) order.push_back(e.text);
  EXPECT_EQ(order, (std::vector<std::string>{"f10", "a10", "u", "f11"}));
  EXPECT_TRUE(q.Push({std::string(1000, 'x'), 30, kAgent}));  // the byte bound, whole
}

TEST_F(QueueTest, ProducerAndConsumerOnTwoThreadsKeepOrder) {
  CRequestQueue q;
  constexpr int kCount = 20000;  // more than the entry cap: the consumer keeps up
  std::thread producer([&] {
    for (int i = 0; i < kCount;) {
      if (q.Push({std::to_string(i), i})) ++i;
    }
  });
  for (int expected = 0; expected < kCount;) {
    if (q.IsEmpty()) continue;
    RequestEntry e = q.Pop();
    ASSERT_EQ(e.time, expected);
    ASSERT_EQ(e.text, std::to_string(expected));
    ++expected;
  }
  producer.join();
  EXPECT_TRUE(q.IsEmpty());
}

}  // namespace
