#include "platform/posix/bundle_reader.h"

#include <utility>

#include "platform/posix/posix_files.h"

namespace ferlo {

std::optional<std::string> BundleContents::text(std::string_view key) const {
  const auto it = infoDictionary.find(key);
  if (it == infoDictionary.end() || it->second.kind != InfoValue::Kind::text) return std::nullopt;
  return it->second.text;
}

std::optional<std::string> BundleContents::identifier() const { return text("CFBundleIdentifier"); }

BundleReadResult readBundle(std::string_view path) {
  BundleContents bundle;
  bundle.path = std::string(path);
  while (bundle.path.size() > 1 && bundle.path.back() == '/') bundle.path.pop_back();
  const std::string file = bundle.infoPlistPath();
  std::string whyNot;
  const std::optional<std::string> bytes = readRegularFile(file, &whyNot);
  if (!bytes) return {std::nullopt, "cannot read " + file + ": " + whyNot};
  PropertyListResult list = parsePropertyList(*bytes);
  if (!list.value) return {std::nullopt, file + " cannot be read: " + describe(list.diagnostic)};
  if (list.value->kind != InfoValue::Kind::dictionary) {
    return {std::nullopt, file + " cannot be read: the property list is not a dictionary"};
  }
  bundle.infoFormat = list.format;
  for (auto& [key, value] : list.value->dictionary) bundle.infoDictionary.insert_or_assign(key, std::move(value));
  return {std::move(bundle), {}};
}

}  // namespace ferlo
