#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dirwise {

// SHA-256 (FIPS 180-4) over bytes fed in any pieces. Uses the processor's SHA extensions
// where it has them, else portable code; both give the same digest.
// A digest's bytes (the same type the tree sources use).
using Sha256 = std::array<std::uint8_t, 32>;

class Sha256Hasher {
public:
    // `useExtensions` false keeps to the portable code (tests check both against each other).
    explicit Sha256Hasher(bool useExtensions = true);
    // Adds `size` bytes at `data` to the message.
    void Update(const void *data, std::size_t size);
    // The digest of everything added; the object must not be used afterwards.
    [[nodiscard]] Sha256 Finish();

private:
    void blocks(const unsigned char *data, std::size_t count);

    std::uint32_t m_state[8];
    unsigned char m_buffer[64];
    std::size_t m_buffered = 0;
    std::uint64_t m_total = 0;
    bool m_extensions = false;
};

// A digest as 64 lowercase hexadecimal digits.
[[nodiscard]] std::string DigestHex(const Sha256 &digest);
// Reads 64 hexadecimal digits (either case) into `out`. Returns false, leaving `out`
// undefined, for any other text.
[[nodiscard]] bool ParseDigestHex(std::string_view text, Sha256 &out);

} // namespace dirwise
