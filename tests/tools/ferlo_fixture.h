// A scenario on disk for the `ferlo` program: a temporary home, a root of
// app-group containers, resources with our own texts and a 20×30 glyph (so
// that the expected documents do not depend on the shipped translations),
// and the common options that point the program at them.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "exchange/identity.h"
#include "tests/tools/program_runner.h"
#include "tests/support/case_names.h"

namespace ferlo::testing {

FERLO_PRINT_CASES_BY_NAME()

inline constexpr const char* kTestStrings =
    "/* texts for the program tests */\n"
    "\"finder.section.rules\" = \"Rules\";\n"
    "\"finder.rules.empty\" = \"No rules\";\n"
    "\"finder.section.actions\" = \"Actions\";\n"
    "\"finder.action.flatten\" = \"Flatten\";\n"
    "\"finder.action.merge %lld\" = \"Merge %lld\";\n"
    "\"finder.expiry.title\" = \"Expire one\";\n"
    "\"finder.expiry.titleMany %lld\" = \"Expire %lld\";\n"
    "\"finder.expiry.days %lld\" = \"%lld d\";\n"
    "\"finder.expiry.keep\" = \"Keep\";\n";

inline constexpr const char* kRuleId = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
inline constexpr const char* kHostURL = "file:///a/H.app/";

class FerloTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(resources() + "/en.lproj/Localizable.strings", kTestStrings);
    writeFile(resources() + "/BrandGlyph.png", pngHeader(20, 30));
    makeDirectories(home());
    makeDirectories(containers());
  }

  [[nodiscard]] std::string home() const { return dir / "home"; }
  [[nodiscard]] std::string containers() const { return dir / "gc"; }
  [[nodiscard]] static std::string group() { return std::string(defaultAppGroupIdentifier()); }
  [[nodiscard]] std::string container() const { return containers() + "/" + group(); }
  [[nodiscard]] std::string resources() const { return dir / "res"; }
  [[nodiscard]] std::string requestFile() const { return container() + "/tool-request.json"; }

  // Writes rules.json into the default group's container (creating it).
  void writeManifest(const std::string& json) const { writeFile(container() + "/rules.json", json); }

  // A manifest with one rule (lower-case id) and the watched root home/in.
  void writeStandardManifest() const {
    writeManifest(R"({"rules":[{"id":"0f8e2c4a-6b1d-4a3e-9c57-2d8b4e6f1a30","name":"Tidy"}],"watchedRoots":[")" +
                  home() + R"(/in"]})");
  }

  // The options that point the program at this fixture.
  [[nodiscard]] std::vector<std::string> scenario() const {
    return {"--group-containers", containers(), "--resources", resources(), "--locale", "en_US",
            "--user-home",        home(),       "--platform-home", home(),  "--bundle-url", "file:///a/H.app/b/c/E.appex/"};
  }

  // Runs ferlo with `args`, the scenario options inserted after the command
  // name when `withScenario`, so that options in `args` override them.
  ProcessResult ferlo(std::vector<std::string> args, bool withScenario = true,
                      const std::map<std::string, std::string>& extraEnv = {},
                      const std::string& workingDirectory = "", const ProcessIo& io = {}) const {
    if (withScenario) {
      const auto common = scenario();
      args.insert(args.begin() + (args.empty() ? 0 : 1), common.begin(), common.end());
    }
    std::map<std::string, std::string> env = {{"PATH", "/usr/bin:/bin"}, {"HOME", home()}};
    for (const auto& [key, value] : extraEnv) env[key] = value;
    return runProcess(FERLO_PROGRAM, args, env, workingDirectory, io);
  }

  TempDir dir;
};

}  // namespace ferlo::testing
