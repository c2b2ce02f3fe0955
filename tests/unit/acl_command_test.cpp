#include "permissions/acl_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// The arguments after element 0.
Strings Arguments(const std::string& text) {
    Strings elements;
    EXPECT_TRUE(SplitAclCommandText(text, elements)) << text;
    return elements.empty() ? elements : Strings(elements.begin() + 1, elements.end());
}

TEST(AclCommandText, QuotesGroupAndOnlyABlankAfterANonBlankSeparates) {
    EXPECT_EQ(Arguments("-on \"C:\\My Dir\\x\" -ot file"), (Strings{"-on", "C:\\My Dir\\x", "-ot", "file"}));
    EXPECT_EQ(Arguments("a\"b c\"d \"\" e"), (Strings{"ab cd", "", "e"}));
    EXPECT_EQ(Arguments("\"unclosed stays one"), (Strings{"unclosed stays one"}));
    // A second blank, or one at the very start, belongs to the next argument;
    // after a final blank no argument follows.
    EXPECT_EQ(Arguments("a  b"), (Strings{"a", " b"}));
    EXPECT_EQ(Arguments(" a"), (Strings{" a"}));
    EXPECT_EQ(Arguments("a   "), (Strings{"a"}));
    EXPECT_EQ(Arguments(""), Strings{});
}

TEST(AclCommandText, RefusesWhatDoesNotFitRatherThanCuttingIt) {
    Strings elements;
    const std::string longest(kMaxAclElementLength, 'k');
    ASSERT_TRUE(SplitAclCommandText("-on " + longest, elements));
    EXPECT_EQ(elements[0], ("-on " + longest).substr(0, 1023));  // element 0 is the text, cut
    EXPECT_EQ(elements[2], longest);
    // One character more, cut off, would name another (the parent) key.
    EXPECT_FALSE(SplitAclCommandText("-on " + longest + "k", elements));
    EXPECT_TRUE(elements.empty());

    std::string nineteen;
    for (int i = 0; i < 19; ++i) nineteen += "a ";
    ASSERT_TRUE(SplitAclCommandText(nineteen, elements));
    EXPECT_EQ(elements.size(), kMaxAclElements);
    EXPECT_FALSE(SplitAclCommandText(nineteen + "b", elements));
}

bool Parses(Strings arguments, AclCommand& command, std::string& error) {
    arguments.insert(arguments.begin(), "SetAcl");
    return ParseAclArguments(arguments, command, error);
}

TEST(AclArguments, ReadsEveryPartOfTheSyntaxWithoutRegardToCase) {
    AclCommand command;
    std::string error;
    ASSERT_TRUE(Parses({"-ACTN", "ace", "-ace", "n:Users;p:read;i:sc,NP;m:deny", "-ace", "n:S-1-1-0;p:full;s:Y;m:aud_fail",
                        "-ON", "hklm\\X", "-Ot", "REG", "-actn", "Clear", "-CLR", "SACL", "-rec", "no", "-silent"},
                       command, error))
        << error;
    EXPECT_TRUE(command.actionAce && command.actionClear && command.clearSacl && !command.clearDacl && command.silent);
    ASSERT_EQ(command.entries.size(), 2u);
    const AclEntryRequest& deny = command.entries[0];
    EXPECT_EQ(deny.trustee, "Users");
    EXPECT_FALSE(deny.trusteeIsSid);
    EXPECT_EQ(deny.permissions, unsigned(kAclPermRead));
    EXPECT_EQ(deny.inheritance, unsigned(kAclInheritSubContainers | kAclInheritNoPropagate));
    EXPECT_EQ(deny.mode, AclMode::Deny);
    EXPECT_TRUE(command.entries[1].trusteeIsSid && command.entries[1].inSacl && !command.entries[1].inDacl);
    EXPECT_EQ(RegistryObjectName(command.objectName), "MACHINE\\X");
}

TEST(AclArguments, RefusesIncompleteUnknownOrMisfittingCommands) {
    // Each after -on HKLM\a -ot reg, but the first three.
    const std::vector<Strings> refused = {
        {"-ot", "reg", "-actn", "clear", "-clr", "dacl"},
        {"-on", "x", "-ot", "srv", "-actn", "clear", "-clr", "dacl"},
        {"-on", "HKEY_NOWHERE\\a", "-ot", "reg", "-actn", "clear", "-clr", "dacl"},
        {},                                                       // no action
        {"-actn", "clear", "-clr", "dacl,owner"},
        {"-actn", "clear", "-clr"},                               // value missing
        {"-actn", "clear", "-clr", "dacl", "-rec", "cont_obj"},
        {"-actn", "clear", "-clr", "dacl", "-on", "HKLM\\b"},     // two objects
        {"-actn", "list"},
        {"-ace", "n:x;p:full", "-actn", "clear", "-clr", "dacl"}, // -ace without its action
        {"-actn", "ace", "-ace", "n:x"},                          // no permission
        {"-actn", "ace", "-ace", "n:x;p:change"},                 // a file word on a key
        {"-actn", "ace", "-ace", "n:x;p:full;m:replace"},
        {"-actn", "ace", "-ace", "n:x;p:full;w:sacl"},            // an access entry to audit
    };
    for (size_t i = 0; i < refused.size(); ++i) {
        Strings arguments = refused[i];
        if (i >= 3) arguments.insert(arguments.begin(), {"-on", "HKLM\\a", "-ot", "reg"});
        AclCommand command;
        std::string error;
        EXPECT_FALSE(Parses(arguments, command, error)) << ::testing::PrintToString(arguments);
        EXPECT_FALSE(error.empty());
    }
}

TEST(RegistryObjectNames, EveryRootSpellingAndNoOther) {
    EXPECT_EQ(RegistryObjectName("HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\X"), "MACHINE\\SOFTWARE\\CLASSES\\X");
    EXPECT_EQ(RegistryObjectName("hkcu\\Software"), "CURRENT_USER\\Software");
    EXPECT_EQ(RegistryObjectName("HKEY_CLASSES_ROOT"), "CLASSES_ROOT");
    EXPECT_EQ(RegistryObjectName("HKU\\.DEFAULT"), "USERS\\.DEFAULT");
    EXPECT_EQ(RegistryObjectName("MACHINE\\SOFTWARE"), "");
}

}  // namespace
