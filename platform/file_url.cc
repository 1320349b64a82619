#include "platform/file_url.h"

#include <vector>

namespace ferlo {
namespace {

constexpr std::string_view kScheme = "file://";

bool isPathAllowed(unsigned char c) {
  // Foundation's URL path allowed set: unreserved characters and the
  // sub-delimiters that may stand in a path.
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+':
    case ',': case '-': case '.': case '/': case ':': case '=': case '@': case '_': case '~':
      return true;
    default:
      return false;
  }
}

std::string percentEncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size() + path.size() / 4);
  for (unsigned char c : path) {
    if (isPathAllowed(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '%') {
      // No file-system path holds a NUL, escaped or not; one that got
      // through would cut the path short at the first system call.
      if (c == '\0') return std::nullopt;
      out.push_back(c);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int hi = hexValue(text[i + 1]);
    int lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    char decoded = static_cast<char>(hi * 16 + lo);
    if (decoded == '\0') return std::nullopt;
    out.push_back(decoded);
    i += 2;
  }
  return out;
}

// Splits a path at "/" into its components, empty ones included.
std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

}  // namespace

FileURL FileURL::fileURLWithPath(std::string_view path, bool isDirectory) {
  std::string decoded;
  if (path.empty() || path.front() != '/') decoded.push_back('/');
  decoded.append(path);
  if (isDirectory && decoded.back() != '/') decoded.push_back('/');
  std::string text(kScheme);
  text += percentEncodePath(decoded);
  return FileURL(std::move(text), std::move(decoded));
}

std::optional<FileURL> FileURL::fromString(std::string_view text) {
  if (text.size() < kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return std::nullopt;
  }
  std::string_view rest = text.substr(kScheme.size());
  std::size_t end = rest.find_first_of("?#");
  if (end != std::string_view::npos) rest = rest.substr(0, end);
  std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  // Host names are case-insensitive, so LOCALHOST is the local machine too.
  std::string host(rest.substr(0, slash));
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (!host.empty() && host != "localhost") return std::nullopt;
  auto decoded = percentDecode(rest.substr(slash));
  if (!decoded) return std::nullopt;
  return FileURL(std::string(text), std::move(*decoded));
}

std::string FileURL::path() const {
  // Every final "/" goes, not just one: "file:///a//" names the folder /a,
  // and a request must never carry "/a/" for it.
  std::size_t end = decodedPath_.size();
  while (end > 1 && decodedPath_[end - 1] == '/') --end;
  return decodedPath_.substr(0, end);
}

bool FileURL::hasDirectoryPath() const { return !decodedPath_.empty() && decodedPath_.back() == '/'; }

FileURL FileURL::standardizedFileURL() const {
  std::vector<std::string_view> kept;
  auto parts = components(decodedPath_);
  bool directory = hasDirectoryPath();
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string_view part = parts[i];
    bool last = i + 1 == parts.size();
    if (part.empty() || part == ".") {
      if (last && part == ".") directory = true;
      continue;
    }
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      if (last) directory = true;
      continue;
    }
    kept.push_back(part);
  }
  std::string path = "/";
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) path.push_back('/');
    path.append(kept[i]);
  }
  return fileURLWithPath(path, directory);
}

FileURL FileURL::appendingPathComponent(std::string_view component) const {
  std::string path = decodedPath_;
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(component);
  return fileURLWithPath(path, false);
}

FileURL FileURL::deletingLastPathComponent() const {
  std::string path = decodedPath_;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return fileURLWithPath("/", true);
  return fileURLWithPath(std::string_view(path).substr(0, slash), true);
}

}  // namespace ferlo
