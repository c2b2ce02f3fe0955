// Blowfish (64-bit blocks, 16 rounds) with CBC chaining, as the snapshot file
// uses it. Blocks are read and written big-endian: bytes 0-3 are the left half.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class Blowfish {
public:
    explicit Blowfish(std::string_view key);
    void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    // CBC over the whole buffer, in place; a buffer whose length is not a
    // non-zero multiple of 8 is left as it is. Returns whether it was changed.
    bool EncryptCbc(std::string& buffer, std::uint64_t iv) const;
    bool DecryptCbc(std::string& buffer, std::uint64_t iv) const;

private:
    std::uint32_t F(std::uint32_t x) const;
    std::uint32_t p_[18];
    std::uint32_t s_[4][256];
};
