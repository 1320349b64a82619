#include "platform/stand_in/property_list.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/utf8.h"

namespace ferlo {
namespace {

DecodeError refusal(std::string reason) { return DecodeError{"", std::move(reason)}; }

// ---- The XML guard ----
//
// Reads the XML as a strict XML reader does, and more strictly where
// libplist 2.2 (src/xplist.c, node_from_xml) would read well-formed XML
// differently: one root, optionally inside <plist>, and after it nothing but
// blanks, comments and processing instructions; keys and values alternating
// in a dictionary; end tags matching; only the characters XML allows
// (U+0000 and the other controls but tab and line ends are not among them,
// written or referred to), references only to characters and to the five
// predefined entities; attribute values without '<', '>' or '"' (libplist
// ends a tag at the first '>' outside a "…" run, whatever the quotes) and a
// processing instruction whose end libplist finds where XML does. So on
// every input the guard lets through, libplist reads the same tokens and
// has seen every container the guard counted.
class XmlShapeScanner {
 public:
  explicit XmlShapeScanner(std::string_view text) : s_(text) {}

  Decoded<PropertyListShape> run() {
    if (!scan() || !allCharacters()) return resourceErrorAt(s_, pos_, reason_);
    return shape_;
  }

 private:
  struct Container {
    char kind;                   // 'd' or 'a'
    std::size_t children = 0;    // keys and values so far
    bool keyPending = false;     // a dictionary's key waits for its value
    std::string key;             // the last key, for the diagnostics
  };

  static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  // An XML name, taking every character beyond ASCII as a name character.
  static bool isName(std::string_view name) {
    const auto nameChar = [](char c, bool first) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || (c & 0x80) != 0 ||
             (!first && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
    };
    if (name.empty() || !nameChar(name[0], true)) return false;
    return std::all_of(name.begin() + 1, name.end(), [&](char c) { return nameChar(c, false); });
  }
  bool atEnd() const { return pos_ >= s_.size(); }
  bool startsWith(std::string_view prefix) const { return s_.substr(pos_).starts_with(prefix); }
  void skipSpace() {
    while (!atEnd() && isSpace(s_[pos_])) ++pos_;
  }

  bool refuse(std::string reason) {
    reason_ = std::move(reason);
    return false;
  }
  // The reason, followed by where in the property list's values it is.
  bool refuseIn(const char* reason) {
    std::string path;
    for (const Container& c : chain_) {
      if (c.kind == 'a') path += (path.empty() ? "" : " > ") + std::to_string(c.children);
      if (c.kind != 'd' || !c.keyPending) continue;
      path += path.empty() ? "\"" : " > \"";
      for (const char k : c.key) path += static_cast<unsigned char>(k) < 0x20 ? '?' : k;
      path += '"';
    }
    return refuse(path.empty() ? std::string(reason) : std::string(reason) + ", under " + path);
  }

  // A character XML allows, by its code point.
  static const char* notACharacter(std::uint32_t c) {
    if (c == 0) return "U+0000";
    if (c >= 0xD800 && c <= 0xDFFF) return "a surrogate code point";
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF || c > 0x10FFFF) {
      return "a code point XML does not allow";
    }
    return nullptr;
  }
  // The character at pos_ (valid UTF-8 already) when XML refuses it.
  const char* badCharacterHere() const {
    const auto c = static_cast<unsigned char>(s_[pos_]);
    if (c < 0x20) return notACharacter(c);
    if (c == 0xEF && (startsWith("\xEF\xBF\xBE") || startsWith("\xEF\xBF\xBF"))) return notACharacter(0xFFFE);
    return nullptr;
  }
  bool allCharacters() {
    for (pos_ = 0; pos_ < s_.size(); ++pos_) {
      if (const char* what = badCharacterHere()) return refuse(std::string("the XML holds ") + what);
    }
    return true;
  }

  // A reference at pos_ ('&'): a character or one of the five entities.
  // Appends what it stands for to `out`, when given.
  bool reference(std::string* out) {
    const std::size_t semicolon = s_.find(';', pos_);
    if (semicolon == std::string_view::npos || semicolon - pos_ > 12) {
      return refuseIn("the XML has an '&' that starts no reference");
    }
    const std::string_view body = s_.substr(pos_ + 1, semicolon - pos_ - 1);
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [name, c] : kEntities) {
      if (body == name) {
        if (out) *out += c;
        pos_ = semicolon + 1;
        return true;
      }
    }
    if (!body.starts_with("#")) return refuseIn("the XML refers to an entity it does not define");
    const bool hex = body.starts_with("#x");
    const std::string_view digits = body.substr(hex ? 2 : 1);
    std::uint64_t code = 0;
    for (const char c : digits) {
      const int digit = c >= '0' && c <= '9'                 ? c - '0'
                        : hex && c >= 'a' && c <= 'f'        ? c - 'a' + 10
                        : hex && c >= 'A' && c <= 'F'        ? c - 'A' + 10
                                                             : -1;
      if (digit < 0) return refuseIn("the XML has a malformed character reference");
      code = std::min<std::uint64_t>(code * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit), 0x110000);
    }
    if (digits.empty()) return refuseIn("the XML has a malformed character reference");
    if (const char* what = notACharacter(static_cast<std::uint32_t>(code))) {
      return refuseIn((std::string("the XML refers to ") + what).c_str());
    }
    if (out) appendUtf8(*out, static_cast<char32_t>(code));
    pos_ = semicolon + 1;
    return true;
  }

  // A comment, pos_ just past "<!--": it ends at the first "--", which
  // must be followed by '>'.
  bool comment() {
    const std::size_t dashes = s_.find("--", pos_);
    if (dashes == std::string_view::npos) return refuse("the XML has an unterminated comment");
    pos_ = dashes;
    if (dashes + 2 >= s_.size() || s_[dashes + 2] != '>') return refuse("the XML has \"--\" inside a comment");
    pos_ = dashes + 3;
    return true;
  }

  // A processing instruction, pos_ just past "<?". libplist skips "…"
  // runs looking for its end; XML does not.
  bool processingInstruction() {
    const std::size_t start = pos_ - 2;
    const std::size_t end = s_.find("?>", pos_);
    std::size_t libplistEnd = pos_;
    while (libplistEnd < s_.size() && !s_.substr(libplistEnd).starts_with("?>")) {
      if (s_[libplistEnd] == '"') libplistEnd = s_.find('"', libplistEnd + 1);
      if (libplistEnd == std::string_view::npos) break;
      ++libplistEnd;
    }
    if (end == std::string_view::npos) return refuse("the XML has an unterminated processing instruction");
    if (end != libplistEnd) return refuse("the XML has a processing instruction with an unpaired '\"'");
    std::size_t targetEnd = pos_;
    while (targetEnd < end && !isSpace(s_[targetEnd])) ++targetEnd;
    if (!isName(s_.substr(pos_, targetEnd - pos_))) {
      return refuse("the XML has a processing instruction without a name");
    }
    std::string target(s_.substr(pos_, std::min<std::size_t>(4, end - pos_)));
    for (char& c : target) c = static_cast<char>(c | 0x20);
    if (target.starts_with("xml") && (target.size() == 3 || isSpace(target[3]))) {
      if (start != 0 || !startsWith("xml")) return refuse("the XML declaration is not at the start");
      if (!declaration(s_.substr(pos_ + 3, end - pos_ - 3))) return refuse("the XML declaration is malformed");
    }
    pos_ = end + 2;
    return true;
  }

  // The pseudo-attributes of "<?xml …?>": a version, an encoding of
  // UTF-8 or UTF-16 (the byte order mark decides which), a standalone yes
  // or no, in that order.
  static bool declaration(std::string_view rest) {
    static constexpr std::string_view kNames[] = {"version", "encoding", "standalone"};
    std::size_t next = 0;
    for (;;) {
      const std::size_t blank = rest.find_first_not_of(" \t\r\n");
      if (blank == std::string_view::npos) return next > 0;
      if (blank == 0) return false;
      rest.remove_prefix(blank);
      const std::size_t equals = rest.find('=');
      if (equals == std::string_view::npos) return false;
      std::string_view name = rest.substr(0, equals);
      name = name.substr(0, name.find_last_not_of(" \t\r\n") + 1);
      while (next < 3 && name != kNames[next] && next > 0) ++next;
      if (next == 3 || name != kNames[next] || (next == 0 && name != "version")) return false;
      rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(" \t\r\n", equals + 1)));
      if (rest.empty() || (rest[0] != '"' && rest[0] != '\'')) return false;
      const std::size_t close = rest.find(rest[0], 1);
      if (close == std::string_view::npos) return false;
      std::string value(rest.substr(1, close - 1));
      for (char& c : value) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
      const bool good = next == 0   ? !value.empty() && value.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz_.:-") ==
                                                            std::string::npos
                        : next == 1 ? value == "utf-8" || value == "utf-16"
                                    : value == "yes" || value == "no";
      if (!good) return false;
      ++next;
      rest.remove_prefix(close + 1);
    }
  }

  bool scan() {
    for (;;) {
      skipSpace();
      if (atEnd()) break;
      if (s_[pos_] != '<') return refuse(stage_ == kAfter ? "the XML has more after the property list"
                                                          : "the XML has text outside the elements");
      ++pos_;
      if (startsWith("?")) {
        ++pos_;
        if (!processingInstruction()) return false;
      } else if (startsWith("!--")) {
        pos_ += 3;
        if (!comment()) return false;
      } else if (stage_ == kAfter) {
        return refuse("the XML has more after the property list");
      } else if (startsWith("!DOCTYPE") && stage_ == kBefore && !doctypeSeen_) {
        doctypeSeen_ = true;
        if (!doctype()) return false;
      } else if (startsWith("!")) {
        return refuse("the XML has a markup declaration other than a comment or DOCTYPE");
      } else if (startsWith("/")) {
        ++pos_;
        if (!endTag()) return false;
      } else if (!element()) {
        return false;
      }
    }
    if (stage_ == kAfter) return true;
    if (!chain_.empty()) return refuseIn("the XML ends before the end tag of a dictionary or array");
    if (plistOpen_) return refuse("the XML ends before </plist>");
    return refuse("the XML holds no property list");
  }

  // A DOCTYPE, pos_ at "!DOCTYPE": a name, an external identifier (SYSTEM
  // and a literal, or PUBLIC and two), an internal subset in '[' … ']'.
  // libplist looks for its end skipping "…" runs and stops at '[' and '>'
  // outside them, so single-quoted literals must hold none of '"', '[' and
  // '>', and the internal subset no '"'.
  bool doctype() {
    pos_ += 8;
    const auto blanks = [&] {
      const std::size_t before = pos_;
      skipSpace();
      return pos_ > before;
    };
    bool publicId = false;
    const auto literal = [&] {
      if (atEnd() || (s_[pos_] != '"' && s_[pos_] != '\'')) return false;
      const std::size_t close = s_.find(s_[pos_], pos_ + 1);
      if (close == std::string_view::npos) return false;
      if (s_[pos_] == '\'' && s_.substr(pos_, close - pos_).find_first_of("\"[>") != std::string_view::npos) return false;
      const std::string_view text = s_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
      return !publicId || std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view(" \r\n-'()+,./:=?;!*#@$_%").find(c) != std::string_view::npos;
      });
    };
    const auto word = [&] {
      const std::size_t start = pos_;
      while (!atEnd() && std::string_view(" \t\r\n[>\"'").find(s_[pos_]) == std::string_view::npos) ++pos_;
      return s_.substr(start, pos_ - start);
    };
    if (!blanks() || !isName(word())) return refuse("the XML has a malformed DOCTYPE");
    if (blanks() && !atEnd() && s_[pos_] != '[' && s_[pos_] != '>') {
      const std::string_view kind = word();
      const bool external = (kind == "SYSTEM" && blanks() && literal()) ||
                            (kind == "PUBLIC" && blanks() && (publicId = true, literal()) &&
                             (publicId = false, blanks()) && literal());
      if (!external) return refuse("the XML has a malformed DOCTYPE");
      skipSpace();
    }
    if (!atEnd() && s_[pos_] == '[') {
      const std::size_t end = s_.find(']', pos_);
      if (end == std::string_view::npos) return refuse("the XML has an unterminated DOCTYPE");
      if (s_.substr(pos_, end - pos_).find('"') != std::string_view::npos) {
        return refuse("the XML has a DOCTYPE whose internal subset holds '\"'");
      }
      pos_ = end + 1;
      skipSpace();
    }
    if (atEnd() || s_[pos_] != '>') return refuse("the XML has a malformed DOCTYPE");
    ++pos_;
    return true;
  }

  // A start tag, pos_ just past its '<': the name, then attributes.
  bool element() {
    const std::size_t nameStart = pos_;
    while (!atEnd() && std::string_view(" \t\r\n/<>=\"'").find(s_[pos_]) == std::string_view::npos) ++pos_;
    const std::string_view name = s_.substr(nameStart, pos_ - nameStart);
    std::vector<std::string_view> attributes;
    bool empty = false;
    for (;;) {
      const std::size_t before = pos_;
      skipSpace();
      if (atEnd()) return refuse("the XML ends inside a tag");
      if (s_[pos_] == '>') break;
      if (startsWith("/>")) {
        empty = true;
        ++pos_;
        break;
      }
      const std::size_t attributeStart = pos_;
      while (!atEnd() && std::string_view(" \t\r\n/<>=\"'").find(s_[pos_]) == std::string_view::npos) ++pos_;
      const std::string_view attribute = s_.substr(attributeStart, pos_ - attributeStart);
      if (before == attributeStart || !isName(attribute)) return refuse("the XML has a malformed tag");
      if (std::find(attributes.begin(), attributes.end(), attribute) != attributes.end()) {
        return refuse("the XML has a tag with a repeated attribute");
      }
      attributes.push_back(attribute);
      skipSpace();
      if (atEnd() || s_[pos_] != '=') return refuse("the XML has a malformed tag");
      ++pos_;
      skipSpace();
      if (atEnd() || (s_[pos_] != '"' && s_[pos_] != '\'')) return refuse("the XML has a malformed tag");
      const char quote = s_[pos_++];
      while (!atEnd() && s_[pos_] != quote) {
        if (s_[pos_] == '<' || s_[pos_] == '>' || s_[pos_] == '"') {
          return refuse("the XML has an attribute value holding '<', '>' or '\"'");
        }
        if (s_[pos_] == '&') {
          if (!reference(nullptr)) return false;
        } else {
          ++pos_;
        }
      }
      if (atEnd()) return refuse("the XML ends inside a tag");
      ++pos_;
    }
    ++pos_;  // the '>'

    if (stage_ == kAfter) return refuse("the XML has more after the property list");
    if (name == "plist") {
      if (stage_ != kBefore) return refuse("the XML has a <plist> inside the property list");
      if (empty) return refuse("the XML has an empty <plist/>");
      stage_ = kInside;
      plistOpen_ = true;
      return true;
    }
    const bool container = name == "dict" || name == "array";
    const bool key = name == "key";
    const bool text = key || name == "string" || name == "integer" || name == "real" || name == "true" ||
                      name == "false" || name == "data" || name == "date";
    if (!container && !text) return refuse("the XML has an element that is not part of a property list");
    if (stage_ == kInside && chain_.empty() && rootDone_) return refuse("the XML has a second value in <plist>");
    stage_ = kInside;
    if (++shape_.values > kMaxPropertyListValues) return refuse("the property list has too many values");
    if (!chain_.empty()) {
      Container& parent = chain_.back();
      if (parent.kind == 'a' && key) return refuseIn("the XML has a key outside a dictionary");
      if (parent.kind == 'd') {
        if (key && parent.keyPending) return refuseIn("the XML has a key without a value");
        if (!key && !parent.keyPending) return refuseIn("the XML has a value without a key");
        if (++parent.children > 2 * kMaxPropertyListXmlDictionaryKeys) {
          return refuse("an XML dictionary of the property list has too many keys");
        }
      }
    } else if (key) {
      return refuse("the XML has a key outside a dictionary");
    }
    if (container) {
      // An empty container (<dict/>) is a level of its own, with nothing below.
      shape_.depth = std::max(shape_.depth, chain_.size() + 1);
      if (chain_.size() + 1 > kMaxPropertyListDepth) return refuse("the property list nests too deeply");
      if (!empty) {
        chain_.push_back(Container{name == "dict" ? 'd' : 'a', 0, false, {}});
        return true;
      }
      return valueDone();
    }
    std::string content;
    if (!empty && !textContent(name, &content)) return false;
    if (key) {
      chain_.back().keyPending = true;
      chain_.back().key = std::move(content);
      return true;
    }
    return valueDone();
  }

  // A value is complete: the next one of its container comes, or the root
  // is complete.
  bool valueDone() {
    if (chain_.empty()) {
      rootDone_ = true;
      if (!plistOpen_) stage_ = kAfter;
      return true;
    }
    Container& parent = chain_.back();
    if (parent.kind == 'd') parent.keyPending = false;
    else ++parent.children;
    return true;
  }

  // An end tag, pos_ just past "</".
  bool endTag() {
    const std::size_t nameStart = pos_;
    while (!atEnd() && std::string_view(" \t\r\n/<>").find(s_[pos_]) == std::string_view::npos) ++pos_;
    const std::string_view name = s_.substr(nameStart, pos_ - nameStart);
    skipSpace();
    if (atEnd() || s_[pos_] != '>') return refuse("the XML has a malformed end tag");
    if (name == "plist" && plistOpen_ && chain_.empty()) {
      if (!rootDone_) return refuse("the XML has a <plist> without a value");
      ++pos_;
      stage_ = kAfter;
      return true;
    }
    const char kind = name == "dict" ? 'd' : name == "array" ? 'a' : '\0';
    if (chain_.empty() || kind != chain_.back().kind) return refuse("the XML has an end tag that closes nothing");
    if (chain_.back().keyPending) return refuseIn("the XML has a key without a value");
    ++pos_;
    chain_.pop_back();
    return valueDone();
  }

  // The content of a text element and its end tag: characters, references,
  // comments and CDATA sections. <true> and <false> hold only blanks. The
  // text of a key is kept for the diagnostics.
  bool textContent(std::string_view name, std::string* content) {
    const bool blank = name == "true" || name == "false";
    const bool key = name == "key";
    if (name != "string" && name != "key" && !blank) return plainContent(name);
    for (;;) {
      if (atEnd()) return refuse("the XML ends inside a text element");
      const char c = s_[pos_];
      if (blank && !isSpace(c) && c != '<') return refuseIn("the XML has text in <true/> or <false/>");
      if (c == '&') {
        if (!reference(key ? content : nullptr)) return false;
        continue;
      }
      if (c != '<') {
        if (startsWith("]]>")) return refuseIn("the XML has \"]]>\" in text");
        if (const char* what = badCharacterHere()) {
          return refuseIn((std::string(key ? "the XML has a key holding " : "the XML has text holding ") + what).c_str());
        }
        if (key) *content += c;
        ++pos_;
        continue;
      }
      ++pos_;
      if (startsWith("/")) break;
      if (startsWith("!--")) {
        pos_ += 3;
        if (!comment()) return false;
      } else if (startsWith("![CDATA[") && !blank) {
        pos_ += 8;
        const std::size_t end = s_.find("]]>", pos_);
        if (end == std::string_view::npos) return refuse("the XML has an unterminated CDATA section");
        for (; pos_ < end; ++pos_) {
          if (const char* what = badCharacterHere()) return refuseIn((std::string("the XML has text holding ") + what).c_str());
          if (key) *content += s_[pos_];
        }
        pos_ = end + 3;
      } else {
        return refuse("the XML has markup inside a text element");
      }
    }
    ++pos_;
    if (!startsWith(name)) return refuse("the XML has a text element closed by another end tag");
    pos_ += name.size();
    skipSpace();
    if (atEnd() || s_[pos_] != '>') return refuse("the XML has a text element closed by another end tag");
    ++pos_;
    return true;
  }

  // The content of <integer>, <real>, <date> or <data> and its end tag:
  // characters only, in the form that element takes. libplist reads a
  // leading 0 of an integer as octal, and stops quietly at what does not
  // belong to a number or a date.
  bool plainContent(std::string_view name) {
    const std::size_t end = s_.find('<', pos_);
    if (end == std::string_view::npos) return refuse("the XML ends inside a text element");
    const std::string_view text = s_.substr(pos_, end - pos_);
    bool good = false;
    if (name == "integer") {
      good = integerFits(text);
    } else if (name == "real") {
      std::size_t i = text.starts_with("-") || text.starts_with("+");
      const auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - from;
      };
      std::size_t mantissa = digits();
      if (i < text.size() && text[i] == '.') ++i, mantissa += digits();
      good = mantissa > 0;
      if (good && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        i += i < text.size() && (text[i] == '-' || text[i] == '+');
        good = digits() > 0;
      }
      good = good && i == text.size();
    } else if (name == "date") {
      good = isDate(text);
    } else {
      std::size_t letters = 0, padding = 0;
      good = true;
      for (const char c : text) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
                            c == '/';
        if (isSpace(c)) continue;
        good = good && (letter ? padding == 0 : c == '=' && ++padding <= 2);
        letters += letter;
      }
      good = good && (letters + padding) % 4 == 0 && (padding == 0 || letters % 4 != 0);
    }
    pos_ = end;
    if (!good) return refuseIn("the XML has a malformed integer, real, date or data");
    pos_ = end + 1;
    if (!startsWith("/") || !s_.substr(pos_ + 1).starts_with(name)) {
      return refuse("the XML has a text element closed by another end tag");
    }
    pos_ += 1 + name.size();
    skipSpace();
    if (atEnd() || s_[pos_] != '>') return refuse("the XML has a text element closed by another end tag");
    ++pos_;
    return true;
  }
  // Decimal or 0x hexadecimal, within 64 signed bits.
  static bool integerFits(std::string_view text) {
    const bool negative = text.starts_with("-");
    if (negative || text.starts_with("+")) text.remove_prefix(1);
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    if (hex && (negative || text.size() > 2 + 16)) return false;
    if (hex) text.remove_prefix(2);
    if (text.empty() || (!hex && text.size() > 1 && text[0] == '0')) return false;
    std::uint64_t value = 0;
    for (const char c : text) {
      const int digit = c >= '0' && c <= '9' ? c - '0'
                        : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
      if (digit < 0 || value > (std::uint64_t{1} << 60)) return false;
      value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    }
    return value <= (std::uint64_t{1} << 63) - (negative ? 0 : 1);
  }
  // YYYY-MM-DDTHH:MM:SSZ, each field in its range.
  static bool isDate(std::string_view text) {
    if (text.size() != 20) return false;
    int fields[6] = {};
    for (int f = 0, i = 0; f < 6; ++f) {
      const int width = f == 0 ? 4 : 2;
      for (int k = 0; k < width; ++k, ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        fields[f] = fields[f] * 10 + (text[i] - '0');
      }
      if (text[i++] != "--T::Z"[f]) return false;
    }
    const int year = fields[0], month = fields[1];
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    const int days = month == 2 ? 28 + leap : 30 + ((month + (month > 7)) % 2);
    return year >= 1 && month >= 1 && month <= 12 && fields[2] >= 1 && fields[2] <= days && fields[3] < 24 &&
           fields[4] < 60 && fields[5] < 60;
  }

  enum Stage { kBefore, kInside, kAfter };

  std::string_view s_;
  std::size_t pos_ = 0;
  std::vector<Container> chain_;   // the open containers, root first
  Stage stage_ = kBefore;
  bool plistOpen_ = false;
  bool rootDone_ = false;
  bool doctypeSeen_ = false;
  PropertyListShape shape_;
  std::string reason_;
};

// ---- The binary guard ----
//
// Walks the object graph of the binary form the way libplist 2.2 expands it
// (every reference read as a copy of its object), without expanding it: each
// object's expanded size and nesting are computed once and reused wherever
// it is referenced. Checks the format more strictly than libplist does:
// object offsets must lie between the header and the offset table, integer
// sizes must be 1, 2, 4 or 8 bytes, and a reference cycle is refused; and
// it refuses text that libplist would cut or change: an ASCII string with
// U+0000 or a byte above 0x7F, a UTF-16 string with U+0000 or an unpaired
// surrogate. Sets, which no Apple format we read uses, are refused too.
class BinaryShapeScanner {
 public:
  explicit BinaryShapeScanner(std::string_view bytes) : b_(bytes) {}

  Decoded<PropertyListShape> run() {
    std::optional<PropertyListShape> shape = scan();
    if (!shape) return refusal(reason_);
    return *shape;
  }

 private:
  static constexpr std::size_t kHeader = 8;    // "bplist00"
  static constexpr std::size_t kTrailer = 32;  // 6 unused, 2 sizes, 3 × 8-byte numbers

  struct Object {
    bool container = false;
    bool dictionary = false;
    std::uint64_t refsAt = 0;    // where its references start
    std::uint64_t refs = 0;      // how many (a dictionary's keys and values)
    std::uint64_t payload = 0;   // bytes libplist allocates for its text or data
  };

  struct Total {
    std::uint64_t values = 0;
    std::uint64_t bytes = 0;
    std::size_t depth = 0;
  };

  std::nullopt_t refuse(std::string reason) {
    reason_ = std::move(reason);
    return std::nullopt;
  }
  // The reason, with the byte offset of the text at fault and the keys and
  // indexes that lead to it.
  std::nullopt_t refuseText(const char* what, std::uint64_t at) {
    std::string path;
    bool key = false;
    for (const Frame& frame : stack_) {
      const std::uint64_t count = frame.object.refs / 2;
      key = frame.object.dictionary && frame.next < count;
      if (key) break;
      path += path.empty() ? "" : " > ";
      if (!frame.object.dictionary) {
        path += std::to_string(frame.next);
        continue;
      }
      // The key's text when it is a plain ASCII string.
      const std::uint64_t keyIndex = number(frame.object.refsAt + (frame.next - count) * refSize_, refSize_);
      const std::uint64_t keyAt = keyIndex < objects_ ? number(tableAt_ + keyIndex * offsetSize_, offsetSize_) : 0;
      const auto marker = keyAt >= kHeader && keyAt < tableAt_ ? static_cast<unsigned char>(b_[keyAt]) : 0;
      const std::string_view text = b_.substr(keyAt + 1, marker & 0x0F);
      const bool plain = (marker >> 4) == 0x5 && (marker & 0x0F) != 0x0F && keyAt + 1 + text.size() <= tableAt_ &&
                         std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
      path += plain ? "\"" + std::string(text) + "\"" : "(a key)";
    }
    return refuse(std::string("the binary property list has a ") + (key ? "key" : "string") + " holding " + what +
                  " at byte " + std::to_string(at) + (path.empty() ? "" : ", under " + path));
  }

  std::uint64_t number(std::uint64_t at, unsigned width) const {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value = (value << 8) | static_cast<unsigned char>(b_[at + i]);
    return value;
  }
  static bool isWidth(unsigned width) { return width == 1 || width == 2 || width == 4 || width == 8; }

  std::optional<PropertyListShape> scan() {
    if (b_.size() < kHeader + kTrailer || !b_.starts_with("bplist00")) {
      return refuse("the binary property list is not of version 00 or is truncated");
    }
    const std::uint64_t trailer = b_.size() - kTrailer;
    offsetSize_ = static_cast<unsigned char>(b_[trailer + 6]);
    refSize_ = static_cast<unsigned char>(b_[trailer + 7]);
    objects_ = number(trailer + 8, 8);
    const std::uint64_t root = number(trailer + 16, 8);
    tableAt_ = number(trailer + 24, 8);
    if (!isWidth(offsetSize_) || !isWidth(refSize_)) return refuse("the binary property list has a bad trailer");
    if (objects_ == 0 || root >= objects_ || tableAt_ < kHeader || tableAt_ > trailer ||
        objects_ > (trailer - tableAt_) / offsetSize_) {
      return refuse("the binary property list has a bad trailer");
    }
    if (objects_ > kMaxPropertyListValues) return refuse("the property list has too many values");

    enum : unsigned char { kUnseen, kOpen, kDone };
    std::vector<unsigned char> state(objects_, kUnseen);
    std::vector<Total> totals(objects_);
    std::vector<Frame>& stack = stack_;
    const auto enter = [&](std::uint64_t index) {
      const std::optional<Object> object = objectAt(index);
      if (!object) return false;
      // Only containers stay on the stack, so its height is the nesting.
      if (stack.size() > kMaxPropertyListDepth) {
        reason_ = "the property list nests too deeply";
        return false;
      }
      state[index] = kOpen;
      stack.push_back(Frame{index, *object, 0, Total{1, object->payload, object->container ? std::size_t{1} : 0}});
      return true;
    };
    if (!enter(root)) return std::nullopt;
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.next == top.object.refs) {
        totals[top.index] = top.total;
        state[top.index] = kDone;
        stack.pop_back();
        continue;
      }
      const std::uint64_t child = number(top.object.refsAt + top.next * refSize_, refSize_);
      if (child >= objects_) return refuse("the binary property list refers to an object it does not have");
      if (state[child] == kOpen) return refuse("the binary property list refers to itself");
      if (state[child] == kUnseen) {
        if (!enter(child)) return std::nullopt;
        continue;  // `top` is added to once the child is done
      }
      const Total& sub = totals[child];
      ++top.next;
      top.total.values += sub.values;
      top.total.bytes += sub.bytes;
      top.total.depth = std::max(top.total.depth, sub.depth + 1);
      if (top.total.values > kMaxPropertyListValues) return refuse("the property list has too many values");
      if (top.total.bytes > kMaxPropertyListTextBytes) return refuse("the property list has too much text");
      if (top.total.depth > kMaxPropertyListDepth) return refuse("the property list nests too deeply");
    }
    return PropertyListShape{totals[root].depth, static_cast<std::size_t>(totals[root].values)};
  }

  // The object at `index` of the offset table, its size checked against the
  // space before the offset table.
  std::optional<Object> objectAt(std::uint64_t index) {
    const std::uint64_t at = number(tableAt_ + index * offsetSize_, offsetSize_);
    if (at < kHeader || at >= tableAt_) return refuse("the binary property list has an object outside its data");
    const auto marker = static_cast<unsigned char>(b_[at]);
    const unsigned type = marker >> 4;
    const unsigned low = marker & 0x0F;
    std::uint64_t pos = at + 1;
    std::uint64_t count = low;
    const bool sized = type == 0x4 || type == 0x5 || type == 0x6 || type == 0xA || type == 0xC || type == 0xD;
    if (sized && low == 0x0F) {
      if (pos >= tableAt_) return refuse("the binary property list has an object outside its data");
      const auto sizeMarker = static_cast<unsigned char>(b_[pos]);
      const unsigned width = 1u << (sizeMarker & 0x0F);
      if ((sizeMarker >> 4) != 0x1 || !isWidth(width) || width > tableAt_ - pos - 1) {
        return refuse("the binary property list has a bad object size");
      }
      count = number(pos + 1, width);
      pos += 1 + width;
    }
    const std::uint64_t room = tableAt_ - pos;
    Object object;
    switch (type) {
      case 0x0:  // false (8) and true (9); null and fill make libplist fail
        if (low != 0x8 && low != 0x9) return refuse("the binary property list has a null object");
        return object;
      case 0x1:  // integer of 2^low bytes
        if (low > 4 || (std::uint64_t{1} << low) > room) return refuse("the binary property list has a bad integer");
        return object;
      case 0x2:  // real of 4 or 8 bytes
      case 0x3:  // date, 8 bytes
        if (low < 2 || low > 3 || (type == 0x3 && low != 3) || (std::uint64_t{1} << low) > room) {
          return refuse("the binary property list has a bad real or date");
        }
        return object;
      case 0x4:  // data
      case 0x5:  // ASCII string
        if (count > room) return refuse("the binary property list has an object outside its data");
        object.payload = count + 1;
        for (std::uint64_t i = 0; type == 0x5 && i < count; ++i) {
          if (b_[pos + i] == '\0') return refuseText("U+0000", pos + i);
          if (static_cast<unsigned char>(b_[pos + i]) > 0x7F) return refuseText("a byte above 0x7F", pos + i);
        }
        return object;
      case 0x6:  // UTF-16 string; libplist fails on an empty one
        if (count == 0 || count > room / 2) return refuse("the binary property list has a bad UTF-16 string");
        // libplist keeps a U+0000 inside the text (and then aborts on an
        // assertion when the text is a dictionary key and is asked for),
        // and drops an unpaired surrogate.
        for (std::uint64_t i = 0; i < count; ++i) {
          const std::uint64_t unit = number(pos + 2 * i, 2);
          if (unit == 0) return refuseText("U+0000", pos + 2 * i);
          const bool high = unit >= 0xD800 && unit <= 0xDBFF;
          const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
          if (low || (high && (i + 1 == count || (number(pos + 2 * i + 2, 2) & 0xFC00) != 0xDC00))) {
            return refuseText("an unpaired surrogate", pos + 2 * i);
          }
          i += high;
        }
        object.payload = 4 * (count + 1);
        return object;
      case 0x8:  // UID of low + 1 bytes
        if (low + 1u > room) return refuse("the binary property list has a bad UID");
        return object;
      case 0xA:  // array
      case 0xD:  // dictionary: the keys' references, then the values'
        if (type == 0xD && count > room / refSize_ / 2) {
          return refuse("the binary property list has an object outside its data");
        }
        if (count > room / refSize_) return refuse("the binary property list has an object outside its data");
        object.container = true;
        object.dictionary = type == 0xD;
        object.refsAt = pos;
        object.refs = type == 0xD ? 2 * count : count;
        return object;
      default:
        return refuse("the binary property list has an object of an unknown kind");
    }
  }

  struct Frame {
    std::uint64_t index;
    Object object;
    std::uint64_t next = 0;  // the next reference to follow
    Total total;
  };

  std::string_view b_;
  std::vector<Frame> stack_;  // the containers being walked, root first
  unsigned offsetSize_ = 0;
  unsigned refSize_ = 0;
  std::uint64_t objects_ = 0;
  std::uint64_t tableAt_ = 0;
  std::string reason_;
};

// ---- From libplist's tree to our values ----

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct IteratorDeleter {
  void operator()(void* iterator) const { std::free(iterator); }
};

class Converter {
 public:
  // The value of `node`; none for a kind that has no InfoValue form (with
  // *bad unset) or for text that is not UTF-8 (with *bad set).
  std::optional<InfoValue> convert(plist_t node, std::size_t depth) {
    switch (plist_get_node_type(node)) {
      case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        const std::string_view view(text == nullptr ? "" : text, text == nullptr ? 0 : length);
        if (!isValidUtf8(view)) return fail("the property list has text that is not UTF-8");
        return InfoValue::makeText(std::string(view));
      }
      case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return InfoValue::makeBoolean(value != 0);
      }
      case PLIST_UINT: {
        // libplist 2.2 keeps every integer in 64 bits without saying whether
        // it is signed; the property lists we read hold none above 2^63.
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return InfoValue::makeNumber(static_cast<double>(static_cast<std::int64_t>(value)));
      }
      case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return InfoValue::makeNumber(value);
      }
      case PLIST_ARRAY:
        return depth >= kMaxPropertyListDepth ? fail("the property list nests too deeply") : list(node, depth + 1);
      case PLIST_DICT:
        return depth >= kMaxPropertyListDepth ? fail("the property list nests too deeply")
                                              : dictionary(node, depth + 1);
      default:
        return std::nullopt;  // data, date, UID: nothing the bundle's readers use
    }
  }

  const char* failure() const { return failure_; }

 private:
  std::nullopt_t fail(const char* reason) {
    if (failure_ == nullptr) failure_ = reason;
    return std::nullopt;
  }

  std::optional<InfoValue> list(plist_t node, std::size_t depth) {
    InfoValue out;
    out.kind = InfoValue::Kind::list;
    plist_array_iter raw = nullptr;
    plist_array_new_iter(node, &raw);
    const std::unique_ptr<void, IteratorDeleter> iterator(raw);
    for (;;) {
      plist_t item = nullptr;
      plist_array_next_item(node, raw, &item);
      if (item == nullptr) break;
      std::optional<InfoValue> value = convert(item, depth);
      if (failure_ != nullptr) return std::nullopt;
      if (value) out.list.push_back(std::move(*value));
    }
    return out;
  }

  std::optional<InfoValue> dictionary(plist_t node, std::size_t depth) {
    InfoValue out;
    out.kind = InfoValue::Kind::dictionary;
    std::vector<std::pair<std::string, std::optional<InfoValue>>> entries;
    plist_dict_iter raw = nullptr;
    plist_dict_new_iter(node, &raw);
    const std::unique_ptr<void, IteratorDeleter> iterator(raw);
    for (;;) {
      char* rawKey = nullptr;
      plist_t item = nullptr;
      plist_dict_next_item(node, raw, &rawKey, &item);
      const std::unique_ptr<char, IteratorDeleter> key(rawKey);
      if (item == nullptr) break;
      const std::string_view keyText(rawKey == nullptr ? "" : rawKey);
      if (!isValidUtf8(keyText)) return fail("the property list has a key that is not UTF-8");
      std::optional<InfoValue> value = convert(item, depth);
      if (failure_ != nullptr) return std::nullopt;
      entries.emplace_back(std::string(keyText), std::move(value));
    }
    // Sorted by key; of a repeated key (possible in the binary form) the
    // last value stays, as the XML form's reader keeps it, even when that
    // value has no form here and the key goes.
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (i + 1 < entries.size() && entries[i + 1].first == entries[i].first) continue;
      if (entries[i].second) out.dictionary.emplace_back(std::move(entries[i].first), std::move(*entries[i].second));
    }
    return out;
  }

  const char* failure_ = nullptr;
};

}  // namespace

bool isBinaryPropertyList(std::string_view bytes) { return bytes.starts_with("bplist"); }

PropertyListFormat propertyListFormat(std::string_view bytes) {
  return isBinaryPropertyList(bytes) ? PropertyListFormat::binary : PropertyListFormat::xml;
}

Decoded<PropertyListShape> checkPropertyListShape(std::string_view bytes) {
  if (bytes.size() > kMaxPropertyListBytes) return refusal("the property list is larger than 4 MiB");
  if (isBinaryPropertyList(bytes)) return BinaryShapeScanner(bytes).run();
  return XmlShapeScanner(bytes).run();
}

Decoded<InfoValue> parseDictionaryPropertyList(std::string_view bytes) {
  Decoded<InfoValue> result = parsePropertyList(bytes);
  if (result && result->kind != InfoValue::Kind::dictionary) return refusal("the property list is not a dictionary");
  return result;
}

Decoded<InfoValue> parsePropertyList(std::string_view bytes) {
  const PropertyListFormat format = propertyListFormat(bytes);
  std::string text;
  if (format == PropertyListFormat::xml && bytes.size() <= kMaxPropertyListBytes) {
    Decoded<std::string> decoded = decodeResourceText(bytes);
    if (!decoded) return decoded.error;
    text = std::move(*decoded);
    bytes = text;
  }
  if (Decoded<PropertyListShape> shape = checkPropertyListShape(bytes); !shape) return shape.error;

  plist_t raw = nullptr;
  if (format == PropertyListFormat::binary) {
    plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
  } else {
    plist_from_xml(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
  }
  const PlistPtr root(raw);
  if (!root) {
    return refusal(format == PropertyListFormat::binary ? "libplist cannot read it as a binary property list"
                                                        : "libplist cannot read it as an XML property list");
  }
  Converter converter;
  std::optional<InfoValue> value = converter.convert(root.get(), 0);
  if (!value) {
    return refusal(converter.failure() != nullptr ? converter.failure()
                                                  : "the property list holds only data, a date or a UID");
  }
  return std::move(*value);
}

}  // namespace ferlo
