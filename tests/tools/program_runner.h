// Running the real `ferlo` program in tests: a child process with exactly the
// arguments and environment given, its output captured; and per-test
// temporary directories with the files a scenario needs.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferlo::testing {

struct ProcessResult {
  int exitCode = -1;  // 128 + signal when killed by one
  std::string out;
  std::string err;
};

// Where a child's standard streams go, when not the defaults (stdin from
// /dev/null, stdout and stderr captured).
struct ProcessIo {
  std::optional<std::string> stdinBytes;  // stdin is a pipe holding these (at most 64 KiB), then EOF
  std::string stdinPath;                  // else stdin is this file when not empty
  std::string stdoutPath;                 // stdout is this file (created or truncated) when not empty
  std::string stderrPath;                 // likewise stderr
  long fileSizeLimit = 0;                 // RLIMIT_FSIZE in bytes when not 0, with SIGXFSZ ignored

  [[nodiscard]] static ProcessIo input(std::string bytes) {
    ProcessIo io;
    io.stdinBytes = std::move(bytes);
    return io;
  }
  [[nodiscard]] static ProcessIo inputFile(std::string path) {
    ProcessIo io;
    io.stdinPath = std::move(path);
    return io;
  }
  [[nodiscard]] static ProcessIo output(std::string path, long sizeLimit = 0) {
    ProcessIo io;
    io.stdoutPath = std::move(path);
    io.fileSizeLimit = sizeLimit;
    return io;
  }
  [[nodiscard]] static ProcessIo errors(std::string path) {
    ProcessIo io;
    io.stderrPath = std::move(path);
    return io;
  }
};

// A child that runs: its pid and the read ends of the pipes of its stdout
// and stderr (at end of file at once for a stream sent to a file).
struct StartedProcess {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};

// Starts `program` with `args` and exactly `env` as its environment, in
// `workingDirectory` when not empty.
[[nodiscard]] StartedProcess startProcess(const std::string& program, const std::vector<std::string>& args,
                                          const std::map<std::string, std::string>& env,
                                          const std::string& workingDirectory = "", const ProcessIo& io = {});

// Reads the child's stdout and stderr together to their ends, so that a child
// that fills one pipe does not deadlock, and waits for it.
[[nodiscard]] ProcessResult finishProcess(const StartedProcess& started);

// startProcess, then finishProcess.
[[nodiscard]] ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                                       const std::map<std::string, std::string>& env,
                                       const std::string& workingDirectory = "", const ProcessIo& io = {});

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
