#include <gtest/gtest.h>

#include "state/names.h"

using namespace vdx;

TEST(Names, TheRulesAndTheirReasons) {
    EXPECT_EQ(NameProblem("Cohort 1990"), "");
    EXPECT_EQ(NameProblem("Age*Calendar"), "");
    EXPECT_EQ(NameProblem(""), "has no name");
    EXPECT_EQ(NameProblem(" x"), "has a name that begins with a blank");
    EXPECT_EQ(NameProblem("a\tb"), "has a name with a control character");
    EXPECT_EQ(NameProblem("dbo.Cohort"), "has a name with the character '.', which a name cannot hold");
    for (const char* bad : {"a!b", "a`b", "a[b", "a]b"}) EXPECT_FALSE(IsValidName(bad)) << bad;
    // A SQL fragment is a valid name: it is quoted wherever it is used.
    EXPECT_TRUE(IsValidName("x\"; DROP TABLE VdxSystemMain; --"));
}

TEST(Names, LengthCountsCharactersNotBytes) {
    std::string umlauts;
    for (int i = 0; i < 64; ++i) umlauts += "\xC3\xBC";  // ü, two bytes each
    EXPECT_EQ(Utf8Length(umlauts), 64u);
    EXPECT_TRUE(IsValidName(umlauts));
    EXPECT_EQ(NameProblem(umlauts + "x"), "has a name longer than 64 characters");
}
