// A scenario: one simulated extension process on the stand-in platform. It
// owns the platform, the process context and the principal object, created
// in that order as the Finder would (the principal object's init runs in the
// constructor).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#include "platform/stand_in/posix_platform.h"
#include "tools/ferlo/scenario_options.h"

namespace ferlo::cli {

// The platform configuration for `options`, with every default filled in:
// containers root defaultGroupContainersRoot(), bundle identifier the
// compiled-in default, bundle URL the .appex the program lies in (or the
// documented fallback), platform home $HOME ("/" without one), resources
// beside the program, locale from the environment. With --bundle, the
// bundle's identifier (none when its Info.plist has no text
// CFBundleIdentifier or cannot be read), Info.plist, directory and
// Contents/Resources take the place of those defaults, and --bundle-id,
// --no-bundle-id, --info, --bundle-url and --resources still override them. --host-running adds the
// host identifier derived from the configured bundle identifier, unless it
// is empty. --on-open installs the hook that runs the command.
[[nodiscard]] PosixPlatformConfig makePlatformConfig(const ScenarioOptions& options);

class Scenario {
 public:
  explicit Scenario(PosixPlatformConfig config);
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  [[nodiscard]] PosixPlatform& platform() { return *platform_; }
  [[nodiscard]] ExtensionContext& context() { return *context_; }
  [[nodiscard]] FinderSync& finderSync() { return *finderSync_; }

  // Marks the start of a command; lastHandoff() then gives the last open
  // recorded after the mark, or none when the command handed nothing off.
  void markCommandStart();
  [[nodiscard]] std::optional<PosixPlatform::OpenRecord> lastHandoff() const;
  // When the command since the mark handed off without its request in
  // place, which the extension does not tell: why the request was not
  // written, e.g. "/c/tool-request.json: Is a directory" or "no shared
  // container for app group \"G\"". None when the request was written or
  // when nothing was handed off (a command stopped at its guard).
  [[nodiscard]] std::optional<std::string> requestNotWritten() const;

 private:
  std::unique_ptr<PosixPlatform> platform_;
  std::unique_ptr<ExtensionContext> context_;
  std::unique_ptr<FinderSync> finderSync_;
  std::size_t opensAtMark_ = 0;
  std::size_t writesAtMark_ = 0;
};

// Writes {"handoff": {"url": …, "activates": …}} or {"handoff": null} and a
// newline to stdout.
void printHandoff(const std::optional<PosixPlatform::OpenRecord>& handoff, bool pretty);

// Says on stderr "ferlo COMMAND: the request was not written: REASON" when
// the command since the mark handed off without its request in place; gives
// 1 then, else 0.
[[nodiscard]] int reportRequestNotWritten(const Scenario& scenario, std::string_view command);

}  // namespace ferlo::cli
