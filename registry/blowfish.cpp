#include "registry/blowfish.h"

#include <cstring>
#include <utility>

#include "registry/blowfish_tables.h"

namespace {

std::uint64_t LoadBlock(const std::string& buffer, size_t at) {
    std::uint64_t block = 0;
    for (size_t i = 0; i < 8; ++i) block = (block << 8) | static_cast<unsigned char>(buffer[at + i]);
    return block;
}

void StoreBlock(std::string& buffer, size_t at, std::uint64_t block) {
    for (size_t i = 0; i < 8; ++i) buffer[at + 7 - i] = char(block >> (8 * i));
}

}  // namespace

Blowfish::Blowfish(std::string_view key) {
    std::memcpy(p_, kBlowfishInitialP, sizeof p_);
    std::memcpy(s_, kBlowfishInitialS, sizeof s_);
    if (!key.empty()) {
        size_t k = 0;
        for (auto& word : p_) {
            std::uint32_t data = 0;
            for (int i = 0; i < 4; ++i, k = (k + 1) % key.size()) data = (data << 8) | static_cast<unsigned char>(key[k]);
            word ^= data;
        }
    }
    std::uint32_t left = 0, right = 0;
    for (size_t i = 0; i < 18; i += 2) {
        EncryptBlock(left, right);
        p_[i] = left;
        p_[i + 1] = right;
    }
    for (auto& box : s_) {
        for (size_t i = 0; i < 256; i += 2) {
            EncryptBlock(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
    }
}

std::uint32_t Blowfish::F(std::uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

void Blowfish::EncryptBlock(std::uint32_t& left, std::uint32_t& right) const {
    for (int i = 0; i < 16; ++i) {
        left ^= p_[i];
        right ^= F(left);
        std::swap(left, right);
    }
    std::swap(left, right);
    right ^= p_[16];
    left ^= p_[17];
}

void Blowfish::DecryptBlock(std::uint32_t& left, std::uint32_t& right) const {
    for (int i = 17; i > 1; --i) {
        left ^= p_[i];
        right ^= F(left);
        std::swap(left, right);
    }
    std::swap(left, right);
    right ^= p_[1];
    left ^= p_[0];
}

bool Blowfish::EncryptCbc(std::string& buffer, std::uint64_t iv) const {
    if (buffer.empty() || buffer.size() % 8 != 0) return false;
    std::uint64_t previous = iv;
    for (size_t at = 0; at < buffer.size(); at += 8) {
        const std::uint64_t block = LoadBlock(buffer, at) ^ previous;
        std::uint32_t left = std::uint32_t(block >> 32), right = std::uint32_t(block);
        EncryptBlock(left, right);
        previous = (std::uint64_t(left) << 32) | right;
        StoreBlock(buffer, at, previous);
    }
    return true;
}

bool Blowfish::DecryptCbc(std::string& buffer, std::uint64_t iv) const {
    if (buffer.empty() || buffer.size() % 8 != 0) return false;
    std::uint64_t previous = iv;
    for (size_t at = 0; at < buffer.size(); at += 8) {
        const std::uint64_t cipher = LoadBlock(buffer, at);
        std::uint32_t left = std::uint32_t(cipher >> 32), right = std::uint32_t(cipher);
        DecryptBlock(left, right);
        StoreBlock(buffer, at, ((std::uint64_t(left) << 32) | right) ^ previous);
        previous = cipher;
    }
    return true;
}
