// Runs the real `ferlo` program on a scenario laid out on disk: a temporary
// home, a root of app-group containers, resources with our own texts and a
// 20×30 glyph (so that the expected documents do not depend on the shipped
// translations), and the common options that point the program at them.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "exchange/identity.h"
#include "tests/support/case_names.h"

namespace ferlo::testing {

FERLO_PRINT_CASES_BY_NAME()

struct ProcessResult {
  int exitCode = -1;  // 128 + signal when killed by one
  std::string out, err;
};

// Where a child's standard streams go when not the defaults (stdin from
// /dev/null, stdout and stderr captured); files when the paths are not empty.
struct ProcessIo {
  std::optional<std::string> input{};  // stdin is a pipe holding these (at most 64 KiB), then EOF
  std::string stdinPath{}, stdoutPath{}, stderrPath{};
  long fileSizeLimit = 0;  // RLIMIT_FSIZE in bytes when not 0, SIGXFSZ ignored: a write past it fails
};

struct StartedProcess {
  pid_t pid = -1;
  int out = -1;             // the read end of its stdout pipe
  std::FILE* err = nullptr;  // the file of its stderr
};

// Starts `program` with `args` and exactly `env` as its environment.
StartedProcess startProcess(const std::string& program, std::vector<std::string> args,
                            const std::map<std::string, std::string>& env, const std::string& cwd = "",
                            const ProcessIo& io = {});
// Reads stdout to its end, waits for the child, then reads its stderr.
ProcessResult finishProcess(const StartedProcess& started);
inline ProcessResult runProcess(const std::string& program, std::vector<std::string> args,
                                const std::map<std::string, std::string>& env, const std::string& cwd = "",
                                const ProcessIo& io = {}) {
  return finishProcess(startProcess(program, std::move(args), env, cwd, io));
}

// Writes `bytes`, creating missing parent directories.
void writeFile(const std::string& path, std::string_view bytes);
// The whole file, or "<missing>".
std::string readFile(const std::string& path);
// The bytes of a PNG's signature and IHDR chunk: all the stand-in reads of a glyph.
std::string pngHeader(std::uint32_t width, std::uint32_t height);
std::string replaceAll(std::string text, const std::string& from, const std::string& to);
std::vector<std::string> lines(const std::string& text);
inline bool pathExists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

// A directory made with mkdtemp, removed with everything in it at the end.
struct TempDir {
  TempDir();
  ~TempDir() { std::error_code ignored; std::filesystem::remove_all(path_, ignored); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
  std::string path_;
};

inline constexpr const char* kRuleId = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
inline const std::string kGroup(defaultAppGroupIdentifier());
inline const std::string kHost(defaultHostBundleIdentifier());

class FerloTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(resources() + "/en.lproj/Localizable.strings",
              "\"finder.section.rules\" = \"Rules\";\n\"finder.rules.empty\" = \"No rules\";\n"
              "\"finder.section.actions\" = \"Actions\";\n"
              "\"finder.action.flatten\" = \"Flatten\";\n\"finder.action.merge %lld\" = \"Merge %lld\";\n"
              "\"finder.expiry.title\" = \"Expire one\";\n\"finder.expiry.titleMany %lld\" = \"Expire %lld\";\n"
              "\"finder.expiry.days %lld\" = \"%lld d\";\n\"finder.expiry.keep\" = \"Keep\";\n");
    writeFile(resources() + "/BrandGlyph.png", pngHeader(20, 30));
    std::filesystem::create_directories(home());
    std::filesystem::create_directories(containers());
  }

  std::string home() const { return dir / "home"; }
  std::string containers() const { return dir / "gc"; }
  std::string container() const { return containers() + "/" + kGroup; }
  std::string resources() const { return dir / "res"; }
  std::string requestFile() const { return container() + "/tool-request.json"; }
  void writeManifest(const std::string& json) const { writeFile(container() + "/rules.json", json); }
  // One rule (its id in lower case) and the watched root home/in.
  void writeStandardManifest() const {
    writeManifest(R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"Tidy"}],"watchedRoots":[")" +
                  home() + R"(/in"]})");
  }

  // Runs ferlo with `args`, the scenario's options inserted after the command
  // name when `withScenario`, so that options in `args` override them.
  ProcessResult ferlo(std::vector<std::string> args, bool withScenario = true,
                      const std::map<std::string, std::string>& extraEnv = {}, const std::string& cwd = "",
                      const ProcessIo& io = {}) const {
    if (withScenario) {
      args.insert(args.begin() + (args.empty() ? 0 : 1),
                  {"--group-containers", containers(), "--resources", resources(), "--locale", "en_US", "--user-home",
                   home(), "--platform-home", home(), "--bundle-url", "file:///a/H.app/b/c/E.appex/"});
    }
    std::map<std::string, std::string> env = {{"PATH", "/usr/bin:/bin"}, {"HOME", home()}};
    for (const auto& [key, value] : extraEnv) env[key] = value;
    return runProcess(FERLO_PROGRAM, args, env, cwd, io);
  }

  TempDir dir;
};

}  // namespace ferlo::testing
