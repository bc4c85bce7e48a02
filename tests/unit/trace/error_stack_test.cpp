#include "trace/error_stack.h"

#include <gtest/gtest.h>

TEST(ErrorStack, KeepsTheFirst1024CodesInOrderWhileTheHolderGetsTheLast) {
  LONG holder = 0;
  for (LONG i = 0; i < 1025; ++i) SetError(&holder, 3000 + i);
  SetError(&holder, 0);  // a cleared failure is recorded like any other code
  ErrorStack* stack = ErrorStack::instance();
  ASSERT_NE(stack, nullptr);
  EXPECT_EQ(stack->count(), 1024u);
  EXPECT_EQ(stack->at(0), 3000);
  EXPECT_EQ(stack->at(1023), 3000 + 1023);
  EXPECT_EQ(holder, 0);
}
