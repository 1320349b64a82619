// Reading an extension bundle laid out as on macOS, so that the stand-in
// shows the extension what the shipped bundle holds:
//
//   NAME.appex/Contents/Info.plist          the information property list
//   NAME.appex/Contents/Resources/          localisation tables and images
//   NAME.appex/Contents/MacOS/EXECUTABLE    the executable (a bundle laid
//                                           out without the macOS SDK has none)
//
//   auto read = readBundle("/b/FerloFinderSync.appex");
//   if (read) read->identifier();   // CFBundleIdentifier
//   else read.error.why;            // "cannot read …/Info.plist: …"
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_url.h"
#include "platform/platform.h"
#include "platform/stand_in/property_list.h"

namespace ferlo {

struct BundleContents {
  std::string path;  // the bundle's directory, without a final "/"
  PropertyListFormat infoFormat = PropertyListFormat::xml;
  std::map<std::string, InfoValue, std::less<>> infoDictionary;

  [[nodiscard]] std::string infoPlistPath() const { return path + "/Contents/Info.plist"; }
  [[nodiscard]] std::string resourcesDirectory() const { return path + "/Contents/Resources"; }
  // The bundle URL: the directory, with the folder mark.
  [[nodiscard]] FileURL url() const { return FileURL::fileURLWithPath(path, true); }
  // CFBundleIdentifier when it is text, else none, as NSBundle gives it.
  [[nodiscard]] std::optional<std::string> identifier() const;
  // The Info.plist value of `key` when it is text, else none.
  [[nodiscard]] std::optional<std::string> text(std::string_view key) const;
};

// Reads the bundle at `path` (made absolute by the caller; final "/"
// ignored): its Info.plist must be a readable regular file holding a
// property list (XML or binary) whose root is a dictionary. Nothing else is
// looked at here. The file is read with readRegularFile, so a FIFO planted
// there is refused rather than waited on. A refusal is about the bundle as
// a whole (an empty where); its why names the file and the reason, for a
// person.
[[nodiscard]] Decoded<BundleContents> readBundle(std::string_view path);

// The bytes of an executable's head that machOProblem needs at most.
inline constexpr std::size_t kMachOHeadBytes = 4096;

// What keeps the file that begins with `head` (its first kMachOHeadBytes,
// or all of a shorter file) from being an executable the system could load
// for an extension, in words for a person, or "" when nothing does: it must
// be a 64-bit Mach-O executable for arm64 or x86_64, or a universal file
// with a slice for one of them.
[[nodiscard]] std::string machOProblem(std::string_view head);

}  // namespace ferlo
