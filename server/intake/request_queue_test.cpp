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
  // Several at once, in the same order; what is taken frees its room.
  EXPECT_TRUE(q.PopUpTo(5).empty());
  for (const char* text : {"E\n", "F\n", "G\n"}) q.Push({text, 5});
  std::vector<RequestEntry> two = q.PopUpTo(2);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].text + two[1].text, "E\nF\n");
  EXPECT_TRUE(q.Push({"E\n", 6}));
  EXPECT_EQ(q.size(), 2u);
  EXPECT_EQ(q.PopUpTo(5).size(), 2u);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(QueueTest, CapsByEntriesAndBytesWithOneMessagePerBurst) {
  CRequestQueue q(3, 10);
  EXPECT_TRUE(q.Push({"1234", 0}));
  EXPECT_TRUE(q.Push({"5678", 0}));
  EXPECT_FALSE(q.Push({"abc", 0}));  // 11 bytes would exceed 10
  EXPECT_EQ(log_.lines().size(), 1u);
  EXPECT_TRUE(q.Push({"ab", 0}));  // exactly 10; ends the burst
  EXPECT_FALSE(q.Push({"", 0}));   // 4th entry
  EXPECT_FALSE(q.Push({"a", 0}));
  EXPECT_EQ(q.size(), 3u);
  EXPECT_EQ(q.dropped(), 3u);
  EXPECT_EQ(log_.lines().size(), 2u);  // two bursts so far

  EXPECT_EQ(q.Pop().text, "1234");
  EXPECT_TRUE(q.Push({"x", 0}));   // the burst ends
  EXPECT_FALSE(q.Push({"y", 0}));  // a new burst
  EXPECT_FALSE(q.Push({"z", 0}));
  ASSERT_EQ(log_.lines().size(), 3u);
  EXPECT_EQ(log_.lines()[0], "Request queue full: reports are dropped until it drains");
  EXPECT_EQ(q.Pop().text, "5678");
  EXPECT_EQ(q.Pop().text, "ab");
  EXPECT_EQ(q.Pop().text, "x");
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_TRUE(q.Push({"0123456789", 0}));  // byte count went back to 0
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
