// The width of a program, read from its PE header: how the launcher tells a
// 64-bit Access from a 32-bit one.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "access/discovery.h"

namespace {

std::string OwnProgram() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ProgramBitsTest : public ::testing::Test {
protected:
    std::string program = ReadAll(OwnProgram());
    std::string scratch;

    void SetUp() override {
        char folder[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, folder);
        scratch = std::string(folder) + "program-bits-test.exe";
        ASSERT_GT(program.size(), 0x400u);
    }
    void TearDown() override { DeleteFileA(scratch.c_str()); }

    // Bits of the own program written with its machine field replaced (or cut short).
    int BitsWith(WORD machine, size_t keep = std::string::npos) {
        std::string bytes = program;
        LONG headerAt = 0;
        std::memcpy(&headerAt, bytes.data() + offsetof(IMAGE_DOS_HEADER, e_lfanew), sizeof headerAt);
        std::memcpy(bytes.data() + headerAt + 4, &machine, sizeof machine);
        std::ofstream(scratch, std::ios::binary) << bytes.substr(0, keep);
        return ProgramBits(scratch);
    }
};

TEST_F(ProgramBitsTest, TellsThirtyTwoFromSixtyFourBits) {
    EXPECT_EQ(ProgramBits(OwnProgram()), int(sizeof(void*) * 8));
    EXPECT_EQ(BitsWith(IMAGE_FILE_MACHINE_I386), 32);
    EXPECT_EQ(BitsWith(IMAGE_FILE_MACHINE_AMD64), 64);
}

TEST_F(ProgramBitsTest, AnythingElseIsNeither) {
    EXPECT_EQ(BitsWith(0xAA64), 0);  // ARM64
    EXPECT_EQ(BitsWith(IMAGE_FILE_MACHINE_I386, 0x40), 0) << "a file that ends after its DOS header";
    std::ofstream(scratch, std::ios::binary) << "MZ but not a program";
    EXPECT_EQ(ProgramBits(scratch), 0);
    std::string farHeader = program.substr(0, 0x200);
    const LONG beyond = 0x7FFFFF00;
    std::memcpy(farHeader.data() + offsetof(IMAGE_DOS_HEADER, e_lfanew), &beyond, sizeof beyond);
    std::ofstream(scratch, std::ios::binary) << farHeader;
    EXPECT_EQ(ProgramBits(scratch), 0) << "a header that points past the end";
    EXPECT_EQ(ProgramBits(scratch + ".missing"), 0);
}

}  // namespace
