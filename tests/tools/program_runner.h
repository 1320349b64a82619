// Running the real `ferlo` program in tests: a child process with exactly the
// arguments and environment given, its output captured; and per-test
// temporary directories with the files a scenario needs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ferlo::testing {

struct ProcessResult {
  int exitCode = -1;  // 128 + signal when killed by one
  std::string out;
  std::string err;
};

// Runs `program` with `args` and exactly `env` as its environment, stdin from
// /dev/null, in `workingDirectory` when not empty, and waits for it. Reads stdout and stderr together, so a child
// that fills one pipe does not deadlock.
[[nodiscard]] ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                                       const std::map<std::string, std::string>& env,
                                       const std::string& workingDirectory = "");

// A directory made with mkdtemp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }
  // path() + "/" + relative
  [[nodiscard]] std::string operator/(std::string_view relative) const;

 private:
  std::string path_;
};

// Writes `bytes` to `path`, creating missing parent directories.
void writeFile(const std::string& path, std::string_view bytes);
// The whole file, or "<missing>" when it cannot be read.
[[nodiscard]] std::string readFile(const std::string& path);
void makeDirectories(const std::string& path);
[[nodiscard]] bool pathExists(const std::string& path);

// The bytes of a PNG header (signature and IHDR with its CRC) for an image of
// width × height pixels: all that the stand-in reads of BrandGlyph.png.
[[nodiscard]] std::string pngHeader(std::uint32_t width, std::uint32_t height);

}  // namespace ferlo::testing
