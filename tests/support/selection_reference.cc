#include "tests/support/selection_reference.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>

#include <utf8proc.h>

namespace ferlo {
namespace {

bool startsAtCharacterEnd(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size() || text.compare(0, prefix.size(), prefix) != 0) return false;
  if (text.size() == prefix.size()) return true;
  utf8proc_int32_t next = 0;
  if (utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + prefix.size()),
                       static_cast<utf8proc_ssize_t>(text.size() - prefix.size()), &next) < 0) {
    return true;
  }
  utf8proc_int32_t previous = static_cast<unsigned char>(prefix.back());
  utf8proc_int32_t state = 0;
  return utf8proc_grapheme_break_stateful(previous, next, &state);
}

}  // namespace

std::optional<std::string> nfdReference(std::string_view text) {
  utf8proc_uint8_t* mapped = nullptr;
  utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()), static_cast<utf8proc_ssize_t>(text.size()),
                   &mapped, static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_DECOMPOSE));
  if (length < 0) return std::nullopt;
  std::string out(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
  std::free(mapped);
  return out;
}

bool pathUnderRootReference(std::string_view path, std::string_view root) {
  std::string normalized(root);
  if (normalized.empty() || normalized.back() != '/') normalized += '/';
  std::optional<std::string> pathForm = nfdReference(path);
  std::optional<std::string> rootForm = nfdReference(normalized);
  if (pathForm) {
    return rootForm && startsAtCharacterEnd(*pathForm, *rootForm);
  }
  // A path without a canonical form is held against the root's bytes and
  // against the root's canonical form.
  std::string raw(path);
  return startsAtCharacterEnd(raw, normalized) || (rootForm && startsAtCharacterEnd(raw, *rootForm));
}

std::vector<FileURL> selectedFileURLsReference(const Selection& selection, const std::vector<std::string>& roots) {
  std::vector<FileURL> files;
  if (!selection.items) return files;
  std::copy_if(selection.items->begin(), selection.items->end(), std::back_inserter(files), [&](const FileURL& url) {
    return !url.hasDirectoryPath() && std::any_of(roots.begin(), roots.end(), [&](const std::string& root) {
             return pathUnderRootReference(url.standardizedFileURL().path(), root);
           });
  });
  return files;
}

}  // namespace ferlo
