// Runs the real `ferlo` program on a scenario laid out on disk: a temporary
// home, a root of app-group containers, resources with our own texts and a
// 20×30 glyph (so that the expected documents do not depend on the shipped
// translations), and the common options that point the program at them.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "exchange/identity.h"
#include "tests/support/case_names.h"
#include "tests/support/files.h"

namespace ferlo::testing {

FERLO_PRINT_CASES_BY_NAME()

inline std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The whole file, or "<missing>".
inline std::string readFile(const std::string& path) { return fileBytes(path).value_or("<missing>"); }

inline bool pathExists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

// Where a child's standard streams go when not the defaults (stdin from
// /dev/null, stdout and stderr captured): files, when the paths are not empty.
struct ProcessIo {
  std::optional<std::string> input{};  // stdin is a pipe that holds these
  std::string stdinPath{}, stdoutPath{}, stderrPath{};
  // ulimit's options: -f BLOCKS limits the size of written files in 512-byte blocks (the program ignores
  // SIGXFSZ), -v KIB the address space.
  std::string limits{};
  bool closedStdout = false;  // stdout a pipe whose reader is gone, SIGPIPE ignored
};

struct ProcessResult {
  int exitCode = -1;  // 128 + signal when killed by one
  std::string out, err;
  bool operator==(const ProcessResult&) const = default;
  friend void PrintTo(const ProcessResult& r, std::ostream* os) {
    *os << "exit " << r.exitCode << ", out \"" << r.out << "\", err \"" << r.err << '"';
  }
};

// Runs `program` with `args` and exactly `env` as its environment, in `cwd`
// when not empty, through the shell; captures its output and waits for it.
// `started` sees the child's pid, once it runs the program, first.
inline ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env, const std::string& cwd = "",
                                const ProcessIo& io = {}, const std::function<void(pid_t, std::FILE*)>& started = {}) {
  char errors[] = "/tmp/ferlo-tools-stderr-XXXXXX";
  ::close(::mkstemp(errors));
  const auto quote = [](const std::string& text) { return " '" + replaceAll(text, "'", "'\\''") + "'"; };
  std::string command = io.limits.empty() ? "" : "ulimit " + io.limits + "; ";
  if (!cwd.empty()) command += "cd" + quote(cwd) + " && ";
  if (io.input) command += "printf %s" + quote(*io.input) + " |";
  command += io.closedStdout ? "env -i" : "exec env -i";
  for (const auto& [key, value] : env) command += quote(key + "=" + value);
  command += quote(program);
  for (const std::string& arg : args) command += quote(arg);
  if (!io.input) command += " <" + quote(io.stdinPath.empty() ? "/dev/null" : io.stdinPath);
  if (!io.stdoutPath.empty()) command += " >" + quote(io.stdoutPath);
  command += " 2>" + quote(io.stderrPath.empty() ? errors : io.stderrPath);
  // The exit status comes on fd 3, the reader of stdout being gone.
  if (io.closedStdout) command = "trap '' PIPE; { { " + command + "; echo $? >&3; } | :; } 3>&1";
  std::FILE* out = ::popen(("echo $$; " + command).c_str(), "r");
  pid_t pid = 0;
  if (std::fscanf(out, "%d", &pid) == 1 && std::fgetc(out) == '\n' && started) started(pid, out);
  ProcessResult result;
  char buffer[8192];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) result.out.append(buffer, n);
  const int status = ::pclose(out);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (io.closedStdout) result.exitCode = std::stoi(std::exchange(result.out, ""));
  result.err = readFile(errors);
  std::filesystem::remove(errors);
  return result;
}

// A 20×30 PNG whole as far as its chunks go (signature, IHDR of 8-bit RGBA,
// an empty IDAT, IEND), and the signature and IHDR alone of a 16×16 one:
// all that the stand-in reads of a glyph.
inline const std::string kPng20x30("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x14\0\0\0\x1e\x08\x06\0\0\0\x2c\x12\x3e\x6b"
                                   "\0\0\0\0IDAT\x35\xaf\x06\x1e\0\0\0\0IEND\xae\x42\x60\x82", 57);
inline const std::string kPng16x16("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0\x1f\xf3\xff\x61", 33);

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
    writeFile(resources() + "/BrandGlyph.png", kPng20x30);
    std::filesystem::create_directories(home());
    // One rule (its id in lower case) and the watched root home/in.
    writeManifest(R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"Tidy"}],"watchedRoots":[")" +
                  home() + R"(/in"]})");
  }

  std::string home() const { return dir / "home"; }
  std::string containers() const { return dir / "gc"; }
  std::string container() const { return containers() + "/" + kGroup; }
  std::string resources() const { return dir / "res"; }
  std::string requestFile() const { return container() + "/tool-request.json"; }
  void writeManifest(const std::string& json) const { writeFile(container() + "/rules.json", json); }

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
