// What the suites that touch the real file system share: a temporary
// directory per test, whole-file helpers, the rule id of their scenarios, and
// whether the heaviest cases must shrink under the sanitizers (the build says
// which run, in FERLO_SANITIZE), whose memory and time overheads would turn
// seconds into minutes.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace ferlo::testing {

inline constexpr bool kSanitized = std::string_view(FERLO_SANITIZE) != "";
inline constexpr const char* kRuleId = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";

// Names parameterised tests by their case's name.
inline constexpr auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

// A directory made with mkdtemp, removed with everything in it at the end;
// neither copied nor moved: one owner removes it.
class TempDir {
  std::string path_ = std::filesystem::temp_directory_path() / "ferlo-test-XXXXXX";

 public:
  TempDir() { if (::mkdtemp(path_.data()) == nullptr) std::abort(); }
  ~TempDir() { std::error_code ignored; std::filesystem::remove_all(path_, ignored); }
  TempDir(TempDir&&) = delete;
  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] std::string operator/(const std::string& name) const { return path_ + "/" + name; }
};

// Writes `bytes`, creating missing parent directories.
inline void writeFile(const std::string& path, std::string_view bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::optional<std::string> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::optional(std::string(std::istreambuf_iterator<char>(in), {})) : std::nullopt;
}

// The names in a directory (without "." and "..").
inline std::set<std::string> namesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

inline ino_t inodeOf(const std::string& path) { struct stat info {}; return ::lstat(path.c_str(), &info), info.st_ino; }

}  // namespace ferlo::testing
