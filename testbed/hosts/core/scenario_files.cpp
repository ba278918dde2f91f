#include "testbed/hosts/core/scenario_files.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>

namespace core {

namespace {

// The POSIX cksum CRC: polynomial 0x04C11DB7, most significant bit first, no reflection.
std::uint32_t CksumStep(std::uint32_t crc, unsigned char byte) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t value = i << 24;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & 0x80000000u) != 0 ? (value << 1) ^ 0x04C11DB7u : value << 1;
            }
            entries[i] = value;
        }
        return entries;
    }();
    return (crc << 8) ^ table[((crc >> 24) ^ byte) & 0xFF];
}

} // namespace

const char FINAL_STATE_LINE[] = "; the state Orbiter saved when the session ended\n";

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Cksum(const std::string& bytes) {
    std::uint32_t crc = 0;
    for (const char byte : bytes) {
        crc = CksumStep(crc, static_cast<unsigned char>(byte));
    }
    // The length follows the bytes, least significant byte first, without its leading zeros.
    for (std::uint64_t length = bytes.size(); length != 0; length >>= 8) {
        crc = CksumStep(crc, static_cast<unsigned char>(length & 0xFF));
    }
    return std::to_string(~crc) + " " + std::to_string(bytes.size());
}

bool SaveFinalState(const std::string& currentState, const std::optional<std::string>& started) {
    std::string state = started.value_or("");
    if (!state.empty() && state.back() != '\n') {
        state += '\n';
    }
    std::ofstream out(currentState, std::ios::binary | std::ios::trunc);
    out << state << FINAL_STATE_LINE;
    return static_cast<bool>(out.flush());
}

} // namespace core
