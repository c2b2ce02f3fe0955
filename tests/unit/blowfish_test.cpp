#include "registry/blowfish.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "registry/snapshot.h"

namespace {

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string ToHex(const std::string& bytes) {
    std::string out;
    char digits[3];
    for (unsigned char c : bytes) snprintf(digits, sizeof digits, "%02X", c), out += digits;
    return out;
}

// Published single-block vectors of the cipher.
TEST(Blowfish, PublishedVectors) {
    struct Vector {
        const char *key, *plain, *cipher;
    };
    const Vector vectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    };
    for (const auto& v : vectors) {
        Blowfish cipher(FromHex(v.key));
        std::string block = FromHex(v.plain);
        ASSERT_TRUE(cipher.EncryptCbc(block, 0));  // one block with a zero IV is the plain cipher
        EXPECT_EQ(ToHex(block), v.cipher) << v.key;
        ASSERT_TRUE(cipher.DecryptCbc(block, 0));
        EXPECT_EQ(ToHex(block), v.plain);
    }
}

TEST(Blowfish, CbcChainsBlocksAndLeavesOddLengthsAlone) {
    Blowfish cipher(FromHex("0123456789ABCDEFF0E1D2C3B4A59687"));
    std::string data = std::string("7654321 Now is the time for ") + std::string(4, '\0');
    ASSERT_TRUE(cipher.EncryptCbc(data, 0xFEDCBA9876543210ull));
    EXPECT_EQ(ToHex(data), "6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC");
    std::string odd = "1234567", empty;
    EXPECT_FALSE(cipher.EncryptCbc(odd, 1));
    EXPECT_EQ(odd, "1234567");
    EXPECT_FALSE(cipher.DecryptCbc(empty, 1));
}

// OpenSSL's implementation, run as a program: the independent reference.
std::string OpenSsl(const std::string& arguments, const std::string& input) {
    const std::string in = testing::TempDir() + "openssl_in.bin", out = testing::TempDir() + "openssl_out.bin";
    std::ofstream(in, std::ios::binary) << input;
    const std::string command = "openssl enc " + arguments + " -nopad -provider legacy -provider default -K " +
                                "79EA7D9C7DBED04802835F89972A0F91 -in '" + in + "' -out '" + out + "' 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << command;
    std::ostringstream bytes;
    bytes << std::ifstream(out, std::ios::binary).rdbuf();
    return bytes.str();
}

TEST(SnapshotCipher, MatchesOpenSslBothWays) {
    const std::string iv = OpenSsl("-bf-ecb", FromHex("D0A7347575937EDA"));
    ASSERT_EQ(iv.size(), 8u);
    const std::string text = "HKEY_CLASSES_ROOT\\Access.Application\\CurVer\t=REG_SZ\tAccess.Application.10\n"
                             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Office\\Common\tLastAccessInstall=REG_DWORD\t12\n";
    std::string padded = text;
    padded.append(8 - text.size() % 8, '\xFF');
    const std::string ours = EncipherSnapshot(text);
    EXPECT_EQ(ToHex(ours), ToHex(OpenSsl("-bf-cbc -iv " + ToHex(iv), padded)));
    EXPECT_EQ(OpenSsl("-d -bf-cbc -iv " + ToHex(iv), ours), padded);

    // A file made by OpenSSL is read back by ours.
    std::vector<RegistryEntry> entries = CatalogueEntries();
    ApplySnapshotBytes(OpenSsl("-bf-cbc -iv " + ToHex(iv), padded), entries);
    const auto curVer = std::find_if(entries.begin(), entries.end(), [](const RegistryEntry& e) {
        return e.keyPath == "Access.Application\\CurVer";
    });
    ASSERT_NE(curVer, entries.end());
    EXPECT_EQ(curVer->present, 1);
    EXPECT_EQ(curVer->stringData, "Access.Application.10");
    EXPECT_EQ(entries.back().present, 0);  // the other machine row was not in the text
    EXPECT_EQ(entries[entries.size() - 2].dwordData, 12u);
}

}  // namespace
