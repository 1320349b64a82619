#include "tools/ferlo/scenario.h"

#include <cstdio>
#include <cstdlib>

#include "exchange/identity.h"
#include "platform/stand_in/localizer.h"
#include "tools/ferlo/command_line.h"
#include "tools/ferlo/json_output.h"
#include "tools/ferlo/on_open.h"
#include "tools/ferlo/program_location.h"

namespace ferlo::cli {

PosixPlatformConfig makePlatformConfig(const ScenarioOptions& options) {
  PosixPlatformConfig config;
  config.groupContainersRoot = options.groupContainers ? *options.groupContainers : defaultGroupContainersRoot();
  // What --bundle says comes first; the single options override it. The
  // identifier is the Info.plist's CFBundleIdentifier when that is text, so
  // --info may set it too; --bundle-id wins over both.
  if (options.bundleIdGiven) {
    config.bundleIdentifier = options.bundleId;
  } else if (const auto given = options.info.find("CFBundleIdentifier"); given != options.info.end()) {
    config.bundleIdentifier =
        given->second.kind == InfoValue::Kind::text ? std::optional(given->second.text) : std::nullopt;
  } else if (options.bundlePath) {
    config.bundleIdentifier = options.bundle ? options.bundle->identifier() : std::nullopt;
  } else {
    config.bundleIdentifier = std::string(defaultExtensionIdentifier());
  }
  if (options.bundle) config.infoDictionary = options.bundle->infoDictionary;
  for (const auto& [key, value] : options.info) config.infoDictionary.insert_or_assign(key, value);
  if (options.bundleURL) {
    config.bundleURL = *options.bundleURL;
  } else if (options.bundlePath) {
    config.bundleURL = FileURL::fileURLWithPath(*options.bundlePath, true);
  } else {
    config.bundleURL = defaultBundleURL();
  }
  config.userHomeOverride = options.userHome;
  config.noUserEntry = options.noUserEntry;
  if (options.platformHome) {
    config.platformHome = *options.platformHome;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    config.platformHome = home;
  } else {
    config.platformHome = "/";
  }
  config.selectedItemURLs = options.selection;
  config.targetedURL = options.target;
  for (const std::string& id : options.running) config.runningBundleIdentifiers.insert(id);
  if (options.hostRunning) {
    std::string host = deriveHostBundleIdentifier(config.bundleIdentifier);
    if (!host.empty()) config.runningBundleIdentifiers.insert(std::move(host));
  }
  if (options.resources) {
    config.resourcesDirectory = *options.resources;
  } else if (options.bundlePath) {
    config.resourcesDirectory = *options.bundlePath + "/Contents/Resources";
  } else {
    config.resourcesDirectory = defaultResourcesDirectory();
  }
  config.locale = options.locale ? *options.locale : localeFromEnvironment();
  config.processIdentifier = options.processId;
  if (options.onOpen) {
    config.onOpen = [command = *options.onOpen](const FileURL& url, bool) {
      (void)runOnOpenCommand(command, url.path());
    };
  }
  return config;
}

Scenario::Scenario(PosixPlatformConfig config)
    : platform_(std::make_unique<PosixPlatform>(std::move(config))),
      context_(std::make_unique<ExtensionContext>(*platform_)),
      finderSync_(std::make_unique<FinderSync>(*context_)) {}

void Scenario::markCommandStart() {
  opensAtMark_ = platform_->opens().size();
  writesAtMark_ = platform_->writes().size();
}

std::optional<PosixPlatform::OpenRecord> Scenario::lastHandoff() const {
  auto opens = platform_->opens();
  if (opens.size() <= opensAtMark_) return std::nullopt;
  return opens.back();
}

std::optional<std::string> Scenario::requestNotWritten() const {
  if (!lastHandoff()) return std::nullopt;
  const auto writes = platform_->writes();
  if (writes.size() <= writesAtMark_) {
    // The command writes only into the shared container: without one it
    // tries no write at all.
    return "no shared container for app group " + lineQuoted(context_->identity().appGroupIdentifier());
  }
  const PosixPlatform::WriteRecord& write = writes.back();
  if (write.written) return std::nullopt;
  return write.url.path() + ": " + write.whyNot;
}

int reportRequestNotWritten(const Scenario& scenario, std::string_view command) {
  const auto why = scenario.requestNotWritten();
  if (!why) return kExitOk;
  writeLine(stderr, lineSafe("ferlo " + std::string(command) + ": the request was not written: " + *why));
  return kExitFailure;
}

void printHandoff(const std::optional<PosixPlatform::OpenRecord>& handoff, bool pretty) {
  JsonWriter w(programJson(pretty));
  w.beginObject();
  w.key("handoff");
  if (handoff) {
    w.beginObject();
    w.key("url");
    w.string(handoff->url.absoluteString());
    w.key("activates");
    w.boolean(handoff->activates);
    w.endObject();
  } else {
    w.null();
  }
  w.endObject();
  writeLine(stdout, *w.finish());
}

}  // namespace ferlo::cli
