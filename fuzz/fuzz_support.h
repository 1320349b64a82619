// What every fuzz target shares: its entry point, the report of a broken
// invariant (printed, then abort, which libFuzzer records as a crash and
// saves the input for; active in every build type, unlike assert), and a
// strict UTF-8 check written apart from the readers it checks, so that a
// mistake they share cannot hide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace ferlo::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* what, const char* condition) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s (%s)\n", file, line, what, condition), std::abort();
}

// True when `text` is well-formed UTF-8: no overlongs, no surrogates,
// nothing above U+10FFFF.
[[nodiscard]] inline bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || text.size() - i < length) return false;
    char32_t cp = b & (0xFF >> (length == 1 ? 1 : length + 1));
    for (std::size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace ferlo::fuzz

#define FERLO_FUZZ_CHECK(condition, what) \
  ((condition) ? void() : ::ferlo::fuzz::fail(__FILE__, __LINE__, (what), #condition))

// FERLO_FUZZ_TARGET(bytes) { ... }: the body runs on each input, as text, in
// namespace ferlo::fuzz.
#define FERLO_FUZZ_TARGET(bytes)                                                                     \
  namespace ferlo::fuzz { void fuzzOne(std::string_view bytes); }                                    \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {                \
    return ferlo::fuzz::fuzzOne({reinterpret_cast<const char*>(data), size}), 0;                     \
  }                                                                                                  \
  void ferlo::fuzz::fuzzOne(std::string_view bytes)
