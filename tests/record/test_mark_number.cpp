#include <gtest/gtest.h>

#include <limits>

#include "record/mark_number.h"

namespace zx840 {
namespace {

TEST(MarkNumber, AcceptsWholeNumbersInRangeAndSaysWhyOthersAreRefused) {
    struct Case {
        const char* text;
        NumberCheck check;
        std::int32_t value;
    };
    const Case cases[] = {
        {"0", NumberCheck::Ok, 0},
        {"00", NumberCheck::Ok, 0},
        {" 42 ", NumberCheck::Ok, 42},
        {"\t7\t", NumberCheck::Ok, 7},
        {"+5", NumberCheck::Ok, 5},
        {"2147483647", NumberCheck::Ok, 2147483647},
        {"2147483648", NumberCheck::Ok, 2147483647},  // beyond 32 bits: the nearest limit
        {"99999999999999999999", NumberCheck::Ok, 2147483647},
        {"-1", NumberCheck::OutOfRange, -1},
        {"-99999999999", NumberCheck::OutOfRange, std::numeric_limits<std::int32_t>::min()},
        {"12a", NumberCheck::NotInteger, 0},
        {"", NumberCheck::NotInteger, 0},
        {"   ", NumberCheck::NotInteger, 0},
        {"-", NumberCheck::NotInteger, 0},
        {"1 2", NumberCheck::NotInteger, 0},
        {"0x10", NumberCheck::NotInteger, 0},
        {"-0", NumberCheck::NotInteger, 0},  // zero must start with the digit
        {"+0", NumberCheck::NotInteger, 0},
        {"1.5", NumberCheck::NotInteger, 0},
    };
    for (const Case& c : cases) {
        const NumberResult result = CheckMarkNumber(c.text);
        EXPECT_EQ(result.check, c.check) << '"' << c.text << '"';
        if (c.check != NumberCheck::NotInteger) {
            EXPECT_EQ(result.value, c.value) << '"' << c.text << '"';
        }
    }
    // Only the first 31 characters count: what follows them is not read.
    EXPECT_EQ(CheckMarkNumber(std::string(30, ' ') + "5xyz").check, NumberCheck::Ok);
    EXPECT_EQ(CheckMarkNumber(std::string(29, ' ') + "5x").check, NumberCheck::NotInteger);
}

TEST(MarkNumber, StepsAndWrapsAfterTheLargest) {
    bool wrapped = true;
    EXPECT_EQ(NextNumber(2147483646, &wrapped), 2147483647);
    EXPECT_FALSE(wrapped);
    EXPECT_EQ(NextNumber(2147483647, &wrapped), 1);
    EXPECT_TRUE(wrapped);
    EXPECT_EQ(NextNumber(-5, &wrapped), -4);  // a stored negative number steps like any other
    EXPECT_FALSE(wrapped);
}

}  // namespace
}  // namespace zx840
