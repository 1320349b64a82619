// decode_driver: one manifest decode in a process of its own, so that its
// peak memory can be read off `/usr/bin/time -v` (or the figure it prints
// itself from getrusage).
//
//   decode_driver write 64MB /tmp/rules.json   # the benchmark's 64 MB manifest
//   decode_driver decode ferlo /tmp/rules.json  # read it whole, decode it
//   decode_driver decode nlohmann /tmp/rules.json
//   decode_driver load ferlo /tmp/rules.json    # the extension's own path: loadRuleManifest
//
// Decoders: ferlo, nlohmann, rapidjson (when built with them), simdjson-dom
// (the bare parse), read (the read alone).
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include <simdjson.h>

#include "bench/bench_inputs.h"
#include "bench/peer_decoders.h"
#include "exchange/identity.h"
#include "exchange/rule_manifest.h"
#include "platform/fake/fake_platform.h"
#include "platform/files/file_io.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: decode_driver write 1KB|1MB|64MB PATH\n"
               "       decode_driver decode ferlo|nlohmann|rapidjson|simdjson-dom|read PATH\n"
               "       decode_driver load ferlo PATH\n");
  return 2;
}

long peakKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ferlo;
  if (argc != 4) return usage();
  const std::string_view command = argv[1];
  const std::string_view what = argv[2];
  const std::string path = argv[3];

  if (command == "write") {
    for (const bench::ManifestShape& shape : bench::kManifestShapes) {
      if (what != shape.label) continue;
      const std::string text = bench::makeManifestText(shape);
      std::FILE* file = std::fopen(path.c_str(), "wb");
      if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fclose(file) != 0) {
        std::perror(path.c_str());
        return 1;
      }
      std::printf("%zu bytes, %zu rules\n", text.size(), shape.rules);
      return 0;
    }
    return usage();
  }
  if (command == "load" && what == "ferlo") {
    // loadRuleManifest as a menu calls it, with "rules.json" of the shared
    // container read from PATH.
    class FileBackedPlatform : public FakePlatform {
     public:
      explicit FileBackedPlatform(std::string file) : file_(std::move(file)) {}
      std::optional<std::string> readWholeFile(const FileURL&) override { return readRegularFile(file_).value; }

     private:
      std::string file_;
    };
    FileBackedPlatform platform(path);
    platform.infoDictionary[std::string(kAppGroupInfoKey)] = InfoValue::makeText("group.bench.ferlo");
    platform.containers.emplace("group.bench.ferlo", FileURL::fileURLWithPath("/container", true));
    Identity identity(platform);
    const long before = peakKilobytes();
    std::optional<RuleManifest> manifest = loadRuleManifest(platform, identity);
    if (!manifest) {
      std::fprintf(stderr, "load: the manifest does not load\n");
      return 1;
    }
    const long peak = peakKilobytes();
    const auto size = static_cast<double>(std::filesystem::file_size(path));
    std::printf("load: %.0f bytes, %zu rules; peak resident %ld kB (%.2fx the file; %ld kB before reading)\n", size,
                manifest->rules.size(), peak, static_cast<double>(peak) * 1024.0 / size, before);
    return 0;
  }
  if (command != "decode") return usage();

  const long before = peakKilobytes();
  Decoded<std::string> bytes = readRegularFile(path);
  if (!bytes) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const std::size_t size = bytes->size();
  std::size_t rules = 0;
  bool ok = true;
  if (what == "ferlo") {
    Decoded<RuleManifest> decoded = decodeRuleManifest(*bytes);
    ok = decoded.value.has_value();
    if (ok) rules = decoded.value->rules.size();
#if defined(FERLO_BENCH_HAVE_NLOHMANN)
  } else if (what == "nlohmann") {
    std::optional<RuleManifest> decoded = bench::decodeWithNlohmann(*bytes);
    ok = decoded.has_value();
    if (ok) rules = decoded->rules.size();
#endif
#if defined(FERLO_BENCH_HAVE_RAPIDJSON)
  } else if (what == "rapidjson") {
    std::optional<RuleManifest> decoded = bench::decodeWithRapidJson(*bytes);
    ok = decoded.has_value();
    if (ok) rules = decoded->rules.size();
#endif
  } else if (what == "simdjson-dom") {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    ok = parser.parse(*bytes).get(root) == simdjson::SUCCESS;
  } else if (what != "read") {
    return usage();
  }
  if (!ok) {
    std::fprintf(stderr, "%s: the manifest does not decode\n", std::string(what).c_str());
    return 1;
  }
  const long peak = peakKilobytes();
  std::printf("%s: %zu bytes, %zu rules; peak resident %ld kB (%.2fx the file; %ld kB before reading)\n",
              std::string(what).c_str(), size, rules, peak, static_cast<double>(peak) * 1024.0 / static_cast<double>(size),
              before);
  return 0;
}
