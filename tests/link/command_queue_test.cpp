// command_queue_test.cpp: order, wrap-around, clearing, and the full queue.
#include "command_queue.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using velkor::CommandQueue;
using velkor::QueueClear;
using velkor::QueueNotEmpty;
using velkor::QueuePop;
using velkor::QueuePush;

TEST(CommandQueue, PairsComeOutInPushOrderAcrossWrapAround) {
  CommandQueue q;
  EXPECT_FALSE(QueueNotEmpty(q));
  int popped = 0;
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(QueuePush(q, static_cast<uint8_t>(1 + i % 11), static_cast<uint16_t>(i * 211)));
    if (i % 2 == 1) {
      for (int k = 0; k < 2; ++k, ++popped) {
        const auto c = QueuePop(q);
        EXPECT_EQ(c.code, 1 + popped % 11);
        EXPECT_EQ(c.value, static_cast<uint16_t>(popped * 211));
      }
    }
  }
  EXPECT_EQ(popped, 300);
  EXPECT_FALSE(QueueNotEmpty(q));
}

TEST(CommandQueue, ClearDiscardsPendingEntriesUntilTheNextPush) {
  CommandQueue q;
  QueueClear(q);
  EXPECT_FALSE(QueueNotEmpty(q));
  ASSERT_TRUE(QueuePush(q, 4, 1500));
  ASSERT_TRUE(QueuePush(q, 2, 7));
  QueueClear(q);
  EXPECT_FALSE(QueueNotEmpty(q));
  ASSERT_TRUE(QueuePush(q, 9, 300));
  ASSERT_TRUE(QueueNotEmpty(q));
  const auto c = QueuePop(q);
  EXPECT_EQ(c.code, 9);
  EXPECT_EQ(c.value, 300);
}

TEST(CommandQueue, AFullQueueRefusesTheNewEntryAndKeepsThe255PendingInOrder) {
  CommandQueue q;
  // Start off zero so that the refusal is tested away from the array's ends too.
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(QueuePush(q, 1, 0));
    QueuePop(q);
  }
  for (int i = 0; i < 255; ++i) ASSERT_TRUE(QueuePush(q, 3, static_cast<uint16_t>(i)));
  EXPECT_FALSE(QueuePush(q, 7, 9999));
  for (int i = 0; i < 255; ++i) {
    ASSERT_TRUE(QueueNotEmpty(q)) << i;
    const auto c = QueuePop(q);
    EXPECT_EQ(c.code, 3);
    EXPECT_EQ(c.value, i);
  }
  EXPECT_FALSE(QueueNotEmpty(q));
  EXPECT_TRUE(QueuePush(q, 7, 9999));  // room again once one has been taken
}

TEST(CommandQueue, APairPutInFrontComesOutNextAndAFullQueueRefusesIt) {
  // From an empty queue at index 0 and away from the array's ends.
  for (const int offset : {0, 100}) {
    CommandQueue q;
    for (int i = 0; i < offset; ++i) {
      ASSERT_TRUE(QueuePush(q, 1, 0));
      QueuePop(q);
    }
    ASSERT_TRUE(QueuePush(q, 3, 1));
    ASSERT_TRUE(velkor::QueuePushFront(q, 1, 9));
    EXPECT_EQ(QueuePop(q).value, 9) << offset;
    EXPECT_EQ(QueuePop(q).value, 1) << offset;
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(QueuePush(q, 3, static_cast<uint16_t>(i)));
    EXPECT_FALSE(velkor::QueuePushFront(q, 1, 9)) << offset;
    EXPECT_EQ(QueuePop(q).value, 0) << offset;
  }
}

TEST(CommandQueue, ReplaceTurnsTheOldestMatchingPendingPairIntoAnotherWhereItWaits) {
  CommandQueue q;
  ASSERT_TRUE(QueuePush(q, 9, 2));
  ASSERT_TRUE(QueuePush(q, 1, 8));
  ASSERT_TRUE(QueuePush(q, 1, 8));
  EXPECT_TRUE(velkor::QueueReplace(q, {1, 8}, {1, 9}));
  EXPECT_FALSE(velkor::QueueReplace(q, {1, 7}, {1, 9}));
  const std::vector<std::pair<int, int>> expected = {{9, 2}, {1, 9}, {1, 8}};
  std::vector<std::pair<int, int>> popped;
  while (QueueNotEmpty(q)) {
    const auto c = QueuePop(q);
    popped.emplace_back(c.code, c.value);
  }
  EXPECT_EQ(popped, expected);
}
