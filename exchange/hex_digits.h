// Internal to exchange/: sixteen hexadecimal digits checked and decoded at
// once, for the UUID text form that every rule of the manifest carries.
// Not part of the module's interface; tests reach it to hold each variant
// against the plain character-by-character reading.
//
// A branch per character is a misprediction every other character on
// random digits, and the ids dominated the manifest's extraction: these
// decode without a branch per character. The SSE2 variant (every x86-64
// has SSE2) works on the sixteen bytes in one register; the portable one
// on eight bytes in one 64-bit word.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ferlo::hex_digits {

// 0x0101...01 times `byte`: `byte` in every byte of a word.
constexpr std::uint64_t each(std::uint8_t byte) { return 0x0101010101010101ULL * byte; }

// Per byte of `x` (each below 0x80): 0x80 where the byte lies in [lo, hi].
// x + (0x80 - lo) sets a byte's top bit exactly when byte >= lo, and
// x + (0x7F - hi) exactly when byte > hi; no byte carries into the next.
constexpr std::uint64_t inRange(std::uint64_t x, std::uint8_t lo, std::uint8_t hi) {
  return (x + each(static_cast<std::uint8_t>(0x80 - lo))) & ~(x + each(static_cast<std::uint8_t>(0x7F - hi))) &
         each(0x80);
}

// Eight digits in either case, the first in the lowest byte of `x`, to four
// bytes (the first pair in the lowest byte of `out`). False when any of the
// eight is not a hexadecimal digit; `out` is then meaningless.
constexpr bool decodeEightPortable(std::uint64_t x, std::uint32_t& out) {
  const std::uint64_t ascii = ~x & each(0x80);  // only 7-bit bytes may pass
  const std::uint64_t low7 = x & each(0x7F);
  const std::uint64_t digit = inRange(low7, '0', '9');
  const std::uint64_t letter = inRange(low7 | each(0x20), 'a', 'f');  // either case
  // '0'..'9' & 0x0F is the value; 'a' & 0x0F is 1, and 1 + 9 is 10.
  const std::uint64_t nibbles = (x & each(0x0F)) + (letter >> 7) * 9;
  std::uint64_t pairs = ((nibbles << 4) | (nibbles >> 8)) & 0x00FF00FF00FF00FFULL;
  pairs = (pairs | (pairs >> 8)) & 0x0000FFFF0000FFFFULL;
  pairs = (pairs | (pairs >> 16)) & 0x00000000FFFFFFFFULL;
  out = static_cast<std::uint32_t>(pairs);
  return (ascii & (digit | letter)) == each(0x80);
}

// A little-endian word of the `n` (at most 8) bytes at `p`: the first byte
// lowest. One unaligned load where n is 8 or 4 on the machines we run on.
template <int n>
inline std::uint64_t loadLittleEndian(const unsigned char* p) {
  static_assert(n == 4 || n == 8);
  if constexpr (std::endian::native == std::endian::little) {
    if constexpr (n == 8) {
      std::uint64_t value;
      std::memcpy(&value, p, sizeof value);
      return value;
    } else {
      std::uint32_t value;
      std::memcpy(&value, p, sizeof value);
      return value;
    }
  } else {
    std::uint64_t value = 0;
    for (int i = n - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
  }
}

// Sixteen digits, the first eight in `first` and the next eight in
// `second` (each the first digit lowest), to eight bytes at `out`,
// portably. False when any is not a hexadecimal digit (then `out` holds
// garbage).
inline bool decodeSixteenPortable(std::uint64_t first, std::uint64_t second, unsigned char* out) {
  std::uint32_t words[2];
  // Both halves are decoded whatever the first gives, so no branch depends
  // on the input.
  const bool firstOk = decodeEightPortable(first, words[0]);
  const bool secondOk = decodeEightPortable(second, words[1]);
  const bool ok = firstOk && secondOk;
  for (int w = 0; w < 2; ++w) {
    for (int b = 0; b < 4; ++b) out[w * 4 + b] = static_cast<unsigned char>(words[w] >> (8 * b));
  }
  return ok;
}

#if defined(__SSE2__)
// As decodeSixteenPortable, in one SSE2 register. Bytes from 0x80 up are
// negative as signed bytes, so the signed range tests refuse them.
inline bool decodeSixteenSse2(std::uint64_t first, std::uint64_t second, unsigned char* out) {
  const __m128i v = _mm_set_epi64x(static_cast<long long>(second), static_cast<long long>(first));
  const __m128i lower = _mm_or_si128(v, _mm_set1_epi8(0x20));
  const __m128i digit =
      _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
  const __m128i letter =
      _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
  const bool ok = _mm_movemask_epi8(_mm_or_si128(digit, letter)) == 0xFFFF;
  const __m128i nibbles = _mm_add_epi8(_mm_and_si128(v, _mm_set1_epi8(0x0F)), _mm_and_si128(letter, _mm_set1_epi8(9)));
  // Each 16-bit lane holds a pair, high digit in its low byte.
  const __m128i pairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4),
                                     _mm_srli_epi16(nibbles, 8));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(pairs, pairs));
  return ok;
}
#endif

// The fastest variant this machine has.
inline bool decodeSixteen(std::uint64_t first, std::uint64_t second, unsigned char* out) {
#if defined(__SSE2__)
  return decodeSixteenSse2(first, second, out);
#else
  return decodeSixteenPortable(first, second, out);
#endif
}

}  // namespace ferlo::hex_digits
