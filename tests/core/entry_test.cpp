#include <gtest/gtest.h>

#include "core/entry.h"

TEST(Entry, Placeholder) {
    EXPECT_EQ(RunQuorvane(0, nullptr), 0);
}
