// FileURL: a file URL with the path semantics of Foundation's file URLs.
//
// A FileURL keeps two things: its URL text (exactly as it was given, or made
// from a path) and the percent-decoded path it names, with a final "/" when
// the URL is a directory URL. Nothing here touches the file system.
//
//   auto home = FileURL::fileURLWithPath("/Users/user", /*isDirectory=*/true);
//   home.absoluteString();          // "file:///Users/user/"
//   home.path();                    // "/Users/user"
//   home.hasDirectoryPath();        // true
//   home.appendingPathComponent("rules.json").path();  // "/Users/user/rules.json"
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ferlo {

class FileURL {
 public:
  // The URL for an absolute path, like fileURLWithPath:isDirectory:. With
  // isDirectory a final "/" is added when missing; without it the path is
  // kept as it is (a path that already ends in "/" stays a directory URL).
  // A relative path is taken relative to "/"; the empty path is "/".
  [[nodiscard]] static FileURL fileURLWithPath(std::string_view path, bool isDirectory);

  // Parses URL text of the form "file://" [ "localhost" ] "/" path, with
  // percent escapes in the path; a query or fragment is dropped from the path.
  // The scheme and the host are matched in any case ("FILE://LocalHost/x").
  // Gives none for another scheme or host, a missing path, an invalid percent
  // escape or a NUL (escaped or not).
  //   FileURL::fromString("file:///a%20b/")->path() == "/a b"
  [[nodiscard]] static std::optional<FileURL> fromString(std::string_view text);

  // The URL text: as given to fromString, or made by fileURLWithPath with
  // every byte outside the URL path's allowed set percent-encoded.
  [[nodiscard]] const std::string& absoluteString() const { return text_; }

  // The absolute, percent-decoded path, without a final "/" except for "/".
  [[nodiscard]] std::string path() const;

  // True when the URL's path ends in "/" (the folder mark).
  [[nodiscard]] bool hasDirectoryPath() const;

  // "." and empty components dropped, ".." resolved against the component
  // before it ("/.." stays "/"); the folder mark is kept, and a path that
  // ended in "." or ".." becomes a directory URL.
  [[nodiscard]] FileURL standardizedFileURL() const;

  // The URL with one more component, as a non-directory URL:
  //   file:///c/  +  "rules.json"  ->  file:///c/rules.json
  [[nodiscard]] FileURL appendingPathComponent(std::string_view component) const;

  // The directory URL of the parent: file:///a/b/c/ and file:///a/b/c both
  // give file:///a/b/; the root stays the root.
  [[nodiscard]] FileURL deletingLastPathComponent() const;

  friend bool operator==(const FileURL& a, const FileURL& b) { return a.text_ == b.text_; }

 private:
  FileURL(std::string text, std::string decodedPath)
      : text_(std::move(text)), decodedPath_(std::move(decodedPath)) {}

  std::string text_;         // the URL text
  std::string decodedPath_;  // percent-decoded; keeps the final "/" of a directory URL
};

}  // namespace ferlo
