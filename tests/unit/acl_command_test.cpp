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

// The one entry of "-on HKLM\a -ot <type> -actn ace -ace <ace>".
bool ParsesEntry(const std::string& type, const std::string& ace, AclEntryRequest& entry, std::string& error) {
    AclCommand command;
    if (!Parses({"-on", "HKLM\\a", "-ot", type, "-actn", "ace", "-ace", ace}, command, error)) return false;
    if (command.entries.size() != 1) {
        error = "entries: " + std::to_string(command.entries.size());
        return false;
    }
    entry = command.entries[0];
    return true;
}

TEST(AclArguments, EveryModeWordAndTheListItWrites) {
    struct Case {
        const char* words;
        AclMode mode;
        bool inDacl, inSacl;
    };
    for (const Case& c : std::vector<Case>{
             {"", AclMode::Set, true, false},
             {";m:set", AclMode::Set, true, false},
             {";m:GRANT", AclMode::Grant, true, false},
             {";m:deny", AclMode::Deny, true, false},
             {";m:revoke", AclMode::Revoke, true, false},
             {";m:revoke;w:sacl", AclMode::Revoke, false, true},
             {";m:revoke;w:dacl,sacl", AclMode::Revoke, true, true},
             {";m:aud_succ", AclMode::AuditSuccess, false, true},
             {";m:Aud_Fail;w:sacl", AclMode::AuditFailure, false, true},
         }) {
        AclEntryRequest entry;
        std::string error;
        ASSERT_TRUE(ParsesEntry("reg", std::string("n:x;p:read") + c.words, entry, error)) << c.words << ": " << error;
        EXPECT_EQ(entry.mode, c.mode) << c.words;
        EXPECT_EQ(entry.inDacl, c.inDacl) << c.words;
        EXPECT_EQ(entry.inSacl, c.inSacl) << c.words;
    }
}

TEST(AclArguments, EveryPermissionWordForItsObjectTypeOnly) {
    struct Case {
        const char* word;
        unsigned bit;
        bool onKey;
    };
    for (const Case& c : std::vector<Case>{
             {"read", kAclPermRead, true},
             {"FULL", kAclPermFull, true},
             {"write", kAclPermWrite, false},
             {"list_folder", kAclPermListFolder, false},
             {"read_ex", kAclPermReadExecute, false},
             {"change", kAclPermChange, false},
             {"profile", kAclPermProfile, false},
         }) {
        AclEntryRequest entry;
        std::string error;
        ASSERT_TRUE(ParsesEntry("file", std::string("n:x;p:") + c.word, entry, error)) << c.word << ": " << error;
        EXPECT_EQ(entry.permissions, c.bit) << c.word;
        EXPECT_EQ(ParsesEntry("reg", std::string("n:x;p:") + c.word, entry, error), c.onKey) << c.word;
    }
}

TEST(AclArguments, InheritanceWordsAndTheLimitsThatNeedADirection) {
    struct Case {
        const char* words;
        bool accepted;
        unsigned flags;
        const char* said = "";  // part of the refusal
    };
    for (const Case& c : std::vector<Case>{
             {"so", true, kAclInheritSubObjects},
             {"sc", true, kAclInheritSubContainers},
             {"so,np", true, kAclInheritSubObjects | kAclInheritNoPropagate},
             {"SC,IO", true, kAclInheritSubContainers | kAclInheritOnly},
             {"so,sc,np,io", true, 0xFu},
             {"np", false, 0, "need so or sc"},
             {"io", false, 0, "need so or sc"},
             {"np,io", false, 0, "need so or sc"},
             {"sc,xx", false, 0, "xx"},
         }) {
        AclEntryRequest entry;
        std::string error;
        EXPECT_EQ(ParsesEntry("reg", std::string("n:x;p:full;i:") + c.words, entry, error), c.accepted)
            << c.words << ": " << error;
        if (c.accepted) {
            EXPECT_TRUE(entry.inheritanceGiven);
            EXPECT_EQ(entry.inheritance, c.flags) << c.words;
        } else {
            EXPECT_NE(error.find(c.said), std::string::npos) << error;
        }
    }
}

TEST(AclArguments, SetAclOptionsNotCarriedOutAreRefusedByName) {
    const Strings valid = {"-on", "HKLM\\a", "-ot", "reg", "-actn", "clear", "-clr", "dacl"};
    // SetACL's own options say they are not carried out; anything else is
    // not an option at all.
    struct Case {
        const char* option;
        const char* said;
    };
    for (const Case& c : std::vector<Case>{{"-trst", "not supported"},
                                           {"-dom", "not supported"},
                                           {"-ownr", "not supported"},
                                           {"-grp", "not supported"},
                                           {"-op", "not supported"},
                                           {"-rst", "not supported"},
                                           {"-lst", "not supported"},
                                           {"-bckp", "not supported"},
                                           {"-log", "not supported"},
                                           {"-LOG", "not supported"},
                                           {"-fltr", "not supported"},
                                           {"-help", "not supported"},
                                           {"-nosuch", "Invalid parameter"},
                                           {"on", "Invalid parameter"}}) {
        for (const bool first : {true, false}) {
            Strings arguments = valid;
            arguments.insert(first ? arguments.begin() : arguments.end(), {c.option, "value"});
            AclCommand command;
            std::string error;
            EXPECT_FALSE(Parses(arguments, command, error)) << c.option;
            EXPECT_NE(error.find(c.option), std::string::npos) << c.option << ": " << error;
            EXPECT_NE(error.find(c.said), std::string::npos) << c.option << ": " << error;
        }
    }
}

TEST(AclArguments, TheUsageLineNamesWhatIsAcceptedAndNothingElse) {
    const std::string usage = AclCommandUsage();
    for (const char* accepted : {"-on ", "-ot ", "-actn ", "-ace ", "-clr ", "-rec ", "-silent", "-ignoreerr"}) {
        EXPECT_NE(usage.find(accepted), std::string::npos) << accepted << " in " << usage;
    }
    for (const char* refused : {"-trst", "-ownr", "-help", "-log"}) {
        EXPECT_EQ(usage.find(refused), std::string::npos) << refused << " in " << usage;
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
