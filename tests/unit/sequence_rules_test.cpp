#include "launcher/sequence_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(ObjectLibraryDecision, KeepsTheWrittenRegistrationOnlyForAnOlderOrEqualGenerationBelow14) {
    EXPECT_FALSE(KeepWrittenObjectLibrary("Access.Application.11", "Access.Application.10"));
    EXPECT_TRUE(KeepWrittenObjectLibrary("Access.Application.10", "Access.Application.11"));
    EXPECT_TRUE(KeepWrittenObjectLibrary("Access.Application.10", "Access.Application.10"));
    EXPECT_FALSE(KeepWrittenObjectLibrary("Access.Application.9", "Access.Application.14"));
    EXPECT_TRUE(KeepWrittenObjectLibrary("Access.Application.", "Access.Application.12"));  // exactly 19: 0
}

TEST(ObjectLibraryDecision, NoDecisionWithoutBothNumbers) {
    EXPECT_FALSE(KeepWrittenObjectLibrary("", "Access.Application.10"));
    EXPECT_FALSE(KeepWrittenObjectLibrary("Access.Application.10", ""));
    EXPECT_FALSE(KeepWrittenObjectLibrary("Access.App", "Access.Application.10"));
}

}  // namespace
