#include "Sha256.h"

#include "Ascii.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace dirwise {
namespace {

constexpr std::uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void blocksPortable(std::uint32_t *state, const unsigned char *data, std::size_t count) {
    for (; count > 0; --count, data += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t)
            w[t] = std::uint32_t{data[4 * t]} << 24 | std::uint32_t{data[4 * t + 1]} << 16 |
                   std::uint32_t{data[4 * t + 2]} << 8 | data[4 * t + 3];
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t t1 =
                h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[t] + w[t];
            const std::uint32_t t2 =
                (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

#if defined(__x86_64__)
// The SHA extensions keep the state as ABEF and CDGH halves and take the message schedule
// four words at a time; each step below does four rounds and extends the schedule by four.
__attribute__((target("sha,sse4.1,ssse3"))) void
blocksShaExtensions(std::uint32_t *state, const unsigned char *data, std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<__m128i *>(state)), 0xB1);
    __m128i cdgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<__m128i *>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(tmp, cdgh, 8);
    cdgh = _mm_blend_epi16(cdgh, tmp, 0xF0);
    for (; count > 0; --count, data += 64) {
        const __m128i abefSaved = abef, cdghSaved = cdgh;
        __m128i msg[4];
        for (int i = 0; i < 4; ++i)
            msg[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * i)), byteSwap);
        for (int g = 0; g < 16; ++g) {
            __m128i wk = _mm_add_epi32(
                msg[g & 3], _mm_loadu_si128(reinterpret_cast<const __m128i *>(K + 4 * g)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
            if (g < 12) {
                __m128i next = _mm_sha256msg1_epu32(msg[g & 3], msg[(g + 1) & 3]);
                next = _mm_add_epi32(next, _mm_alignr_epi8(msg[(g + 3) & 3], msg[(g + 2) & 3], 4));
                msg[g & 3] = _mm_sha256msg2_epu32(next, msg[(g + 3) & 3]);
            }
        }
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }
    tmp = _mm_shuffle_epi32(abef, 0x1B);
    cdgh = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), _mm_blend_epi16(tmp, cdgh, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state + 4), _mm_alignr_epi8(cdgh, tmp, 8));
}

const bool g_shaExtensions = __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1");
#endif

} // namespace

Sha256Hasher::Sha256Hasher(bool useExtensions)
    : m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {
#if defined(__x86_64__)
    m_extensions = useExtensions && g_shaExtensions;
#else
    (void)useExtensions;
#endif
}

void Sha256Hasher::blocks(const unsigned char *data, std::size_t count) {
#if defined(__x86_64__)
    if (m_extensions)
        return blocksShaExtensions(m_state, data, count);
#endif
    blocksPortable(m_state, data, count);
}

void Sha256Hasher::Update(const void *data, std::size_t size) {
    auto *bytes = static_cast<const unsigned char *>(data);
    m_total += size;
    if (m_buffered > 0) {
        const std::size_t take = std::min(size, 64 - m_buffered);
        std::memcpy(m_buffer + m_buffered, bytes, take);
        m_buffered += take, bytes += take, size -= take;
        if (m_buffered < 64)
            return;
        blocks(m_buffer, 1);
        m_buffered = 0;
    }
    blocks(bytes, size / 64);
    bytes += size / 64 * 64;
    m_buffered = size % 64;
    std::memcpy(m_buffer, bytes, m_buffered);
}

Sha256 Sha256Hasher::Finish() {
    const std::uint64_t bits = m_total * 8;
    const unsigned char one = 0x80;
    Update(&one, 1);
    const unsigned char zeros[64] = {};
    Update(zeros, (m_buffered <= 56 ? 56 : 120) - m_buffered);
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Update(length, 8);
    Sha256 out;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<unsigned char>(m_state[i] >> (24 - 8 * j));
    return out;
}

std::string DigestHex(const Sha256 &digest) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text(64, '0');
    for (std::size_t i = 0; i < digest.size(); ++i) {
        text[2 * i] = Hex[digest[i] >> 4];
        text[2 * i + 1] = Hex[digest[i] & 15];
    }
    return text;
}

bool ParseDigestHex(std::string_view text, Sha256 &out) {
    if (text.size() != 64)
        return false;
    for (std::size_t i = 0; i < 32; ++i) {
        const int hi = HexDigitValue(text[2 * i]), lo = HexDigitValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out[i] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return true;
}

} // namespace dirwise
