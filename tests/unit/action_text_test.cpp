#include "custom_actions/action_text.h"

#include <gtest/gtest.h>

namespace {

TEST(FolderPropertyName, DropsOneCharacterAtEachEnd) {
    EXPECT_EQ(FolderPropertyName("[INSTALLDIR]"), "INSTALLDIR");
    EXPECT_EQ(FolderPropertyName("(APPDIR>"), "APPDIR");
    EXPECT_EQ(FolderPropertyName("[[A]]"), "[A]");
    EXPECT_EQ(FolderPropertyName("[]"), "");
    EXPECT_EQ(FolderPropertyName("X"), "");
    EXPECT_EQ(FolderPropertyName(""), "");
}

TEST(FolderPropertyName, LastCharacterGoesWhateverItIs) {
    EXPECT_EQ(WithoutLastCharacter("C:\\Program Files\\App\\"), "C:\\Program Files\\App");
    EXPECT_EQ(WithoutLastCharacter("C:\\Program Files\\App"), "C:\\Program Files\\Ap");
    EXPECT_EQ(WithoutLastCharacter("\\"), "");
    EXPECT_EQ(WithoutLastCharacter(""), "");
}

TEST(CustomActionData, TwoFieldsInOrder) {
    const auto fields = SplitCustomActionData("C:\\Data|C:\\Temp\\ZQS1A2B.tmp");
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->objectPath, "C:\\Data");
    EXPECT_EQ(fields->toolPath, "C:\\Temp\\ZQS1A2B.tmp");
}

TEST(CustomActionData, EmptyFieldsAreSkippedAndAThirdIgnored) {
    for (const char* value : {"|C:\\Data|C:\\Temp\\ZQS1A2B.tmp", "C:\\Data||C:\\Temp\\ZQS1A2B.tmp",
                              "||C:\\Data|||C:\\Temp\\ZQS1A2B.tmp||", "C:\\Data|C:\\Temp\\ZQS1A2B.tmp|C:\\Other|x"}) {
        const auto fields = SplitCustomActionData(value);
        ASSERT_TRUE(fields) << value;
        EXPECT_EQ(fields->objectPath, "C:\\Data") << value;
        EXPECT_EQ(fields->toolPath, "C:\\Temp\\ZQS1A2B.tmp") << value;
    }
    // Blanks are not separators.
    const auto spaced = SplitCustomActionData(" a | b ");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->objectPath, " a ");
    EXPECT_EQ(spaced->toolPath, " b ");
}

TEST(CustomActionData, FewerThanTwoFieldsGiveNothing) {
    for (const char* value : {"", "|", "||||", "C:\\Data", "|C:\\Data", "C:\\Data|", "|C:\\Data||"})
        EXPECT_FALSE(SplitCustomActionData(value)) << value;
}

TEST(CustomActionData, WideValueSplitsTheSameWayAndKeepsEveryCharacter) {
    for (const wchar_t* value : {L"C:\\\u0414\u0430\u043d\u043d\u044b\u0435|C:\\Temp\\ZQS1.tmp",
                                 L"||C:\\\u0414\u0430\u043d\u043d\u044b\u0435||C:\\Temp\\ZQS1.tmp|x"}) {
        const auto fields = SplitCustomActionData(std::wstring_view(value));
        ASSERT_TRUE(fields);
        EXPECT_TRUE(fields->objectPath == L"C:\\\u0414\u0430\u043d\u043d\u044b\u0435");
        EXPECT_TRUE(fields->toolPath == L"C:\\Temp\\ZQS1.tmp");
    }
    for (const wchar_t* value : {L"", L"|", L"C:\\Data", L"|C:\\Data||"})
        EXPECT_FALSE(SplitCustomActionData(std::wstring_view(value)));
}

TEST(UsersFullControlArguments, AreTheWordsSetAclWasGiven) {
    const std::vector<std::string> expected = {"AddUsersFullControlToAcl", "-on", "C:\\Data", "-ot", "file",
                                               "-actn", "ace", "-ace", "n:S-1-5-32-545;p:full;s:y"};
    EXPECT_EQ(UsersFullControlArguments("AddUsersFullControlToAcl", "C:\\Data"), expected);
    // The same words as on the command line the tool was started with.
    EXPECT_EQ(BuildSetAclCommandLine("C:\\t.tmp", "C:\\Data"),
              "\"C:\\t.tmp\" -on \"C:\\Data\" -ot file -actn ace -ace \"" + expected.back() + "\"");
}

TEST(SetAclCommandLine, CharacterForCharacter) {
    EXPECT_EQ(BuildSetAclCommandLine("C:\\Temp\\ZQS1A2B.tmp", "C:\\Data"),
              "\"C:\\Temp\\ZQS1A2B.tmp\" -on \"C:\\Data\" -ot file -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"");
    EXPECT_EQ(BuildSetAclCommandLine("C:\\Documents and Settings\\ann\\Temp\\ZQS9.tmp", "C:\\Program Files\\Tarnwick"),
              "\"C:\\Documents and Settings\\ann\\Temp\\ZQS9.tmp\" -on \"C:\\Program Files\\Tarnwick\" "
              "-ot file -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"");
}

TEST(SetAclCommandLine, FinalBackslashesCannotEscapeTheClosingQuote) {
    EXPECT_EQ(BuildSetAclCommandLine("C:\\t.tmp", "C:\\Program Files\\App\\"),
              "\"C:\\t.tmp\" -on \"C:\\Program Files\\App\\\\\" -ot file -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"");
    EXPECT_EQ(BuildSetAclCommandLine("C:\\t.tmp", "\\\\server\\share\\\\"),
              "\"C:\\t.tmp\" -on \"\\\\server\\share\\\\\\\\\" -ot file -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"");
    // Backslashes inside a path stay as they are.
    EXPECT_EQ(BuildSetAclCommandLine("C:\\t.tmp", "\\\\server\\a"),
              "\"C:\\t.tmp\" -on \"\\\\server\\a\" -ot file -actn ace -ace \"n:S-1-5-32-545;p:full;s:y\"");
}

TEST(SetAclCommandLine, NoCommandForAPathWithAQuote) {
    EXPECT_EQ(BuildSetAclCommandLine("C:\\t.tmp", "C:\\Data\" -actn setowner -ownr \"n:Everyone"), "");
    EXPECT_EQ(BuildSetAclCommandLine("C:\\t\".tmp", "C:\\Data"), "");
}

}  // namespace
