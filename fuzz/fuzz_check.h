// What the fuzz targets use to report a broken invariant: print what was
// expected and stop the process, which libFuzzer records as a crash and saves
// the input that caused it. Active in every build type (assert is not).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FERLO_FUZZ_CHECK(condition, what)                                                       \
  do {                                                                                          \
    if (!(condition)) {                                                                         \
      std::fprintf(stderr, "%s:%d: invariant broken: %s (%s)\n", __FILE__, __LINE__, (what),    \
                   #condition);                                                                 \
      std::abort();                                                                             \
    }                                                                                           \
  } while (false)

namespace ferlo::fuzz {

[[nodiscard]] inline std::string_view asText(const unsigned char* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace ferlo::fuzz
