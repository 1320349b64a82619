#!/usr/bin/env python3
"""Seeds plausible faults into the product code, one at a time, and records
which of them the test suite catches.

For each fault: the exact original text is replaced in its source file (a
fault whose original text is not found exactly once is "not applicable"),
the build directory is rebuilt incrementally, every suite of that build runs
under ctest, and the file is put back as it was, also on Ctrl-C or when the
script is killed with SIGTERM. A fault that breaks the build is reported as
"does not compile": seeded faults are meant to compile, so such a row is a
mistake in the list below, not a catch.

Not part of the test command; it takes about a minute per fault on two cores.

  tests/faults/seed_faults.py                      # every fault, plain build
  tests/faults/seed_faults.py json-slash files-*   # a subset, by id or shell pattern
  tests/faults/seed_faults.py --gnustep            # also the Objective-C++ layer's suite
  tests/faults/seed_faults.py --results table.md --json results.json
  tests/faults/seed_faults.py --list               # the faults, without running anything
  tests/faults/seed_faults.py --check              # is every fault still applicable?

Faults in appex/ and platform/macos/ are compiled only into the GNUstep
build; without --gnustep they are reported as "not run".
"""

import argparse
import datetime
import fnmatch
import json
import os
import re
import shlex
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PENDING_NAME = "seed_faults_pending.json"


@dataclass(frozen=True)
class Fault:
    id: str
    file: str
    original: str
    replacement: str
    description: str

    @property
    def needs_gnustep(self):
        return self.file.startswith(("appex/", "platform/macos/"))


F = Fault
FAULTS = [
    # ---- exchange/: the JSON writer, the two exchange formats, identity ----
    F("json-slash", "exchange/json_writer.cc",
      "    if (style == JsonStyle::exchange) needsEscape[static_cast<unsigned char>('/')] = true;\n", "",
      'a "/" in a string is written raw instead of as "\\/"'),
    F("json-control-1f", "exchange/json_writer.cc",
      "for (int c = 0; c < 0x20; ++c) needsEscape[c] = true;",
      "for (int c = 0; c < 0x1F; ++c) needsEscape[c] = true;",
      "the control character U+001F is written raw (off-by-one bound)"),
    F("json-hex-case", "exchange/json_writer.cc",
      'static constexpr char kHex[] = "0123456789abcdef";',
      'static constexpr char kHex[] = "0123456789ABCDEF";',
      "\\u00XX escapes in upper-case hexadecimal"),
    F("json-comma-after-array", "exchange/json_writer.cc",
      "  out_.push_back(bracket);\n  first_ = false;",
      "  out_.push_back(bracket);\n  first_ = true;",
      "no comma between an array or object and the value after it"),
    F("json-surrogate-replaced-path", "base/utf8.cc",
      "    if (lead == 0xED) high = 0x9F;  // no surrogates\n", "",
      "the replacement rule keeps an encoded surrogate (invalid UTF-8) in repaired text"),
    F("request-field-order", "exchange/tool_request.cc",
      "  if (request.ruleID) {\n    writer.key(kRuleIdKey);\n    writer.string(*request.ruleID);\n  }\n"
      "  if (request.files) {\n    writer.key(kFilesKey);\n    writer.beginArray();\n"
      "    for (const std::string& file : *request.files) writer.string(file);\n    writer.endArray();\n  }\n",
      "  if (request.files) {\n    writer.key(kFilesKey);\n    writer.beginArray();\n"
      "    for (const std::string& file : *request.files) writer.string(file);\n    writer.endArray();\n  }\n"
      "  if (request.ruleID) {\n    writer.key(kRuleIdKey);\n    writer.string(*request.ruleID);\n  }\n",
      'the request\'s members in another order ("files" before "ruleID")'),
    F("request-days-null", "exchange/tool_request.cc",
      "  if (request.days) {\n    writer.key(kDaysKey);\n    writer.integer(*request.days);\n  }\n",
      "  writer.key(kDaysKey);\n  if (request.days) {\n    writer.integer(*request.days);\n  } else {\n"
      "    writer.null();\n  }\n",
      'an absent "days" is written as null instead of left out'),
    F("request-null-days-refused", "exchange/tool_request.cc",
      "if (present[kDays] && !values[kDays].is_null()) {",
      "if (present[kDays]) {",
      'the decoder refuses "days":null instead of reading it as absent'),
    F("request-duplicate-first", "exchange/tool_request.cc",
      "    values[slot] = field.value;\n    present[slot] = true;",
      "    if (!present[slot]) values[slot] = field.value;\n    present[slot] = true;",
      "of a repeated member of a request the first occurrence counts"),
    F("request-days-fraction", "exchange/tool_request.cc",
      "  if (!value.get(days)) return true;\n",
      "  if (!value.get(days)) return true;\n"
      "  if (double whole = 0; !value.get(whole) && whole == static_cast<double>(static_cast<std::int64_t>(whole))) {\n"
      "    days = static_cast<std::int64_t>(whole);\n    return true;\n  }\n",
      '"days":7.0 is accepted as 7'),
    F("request-unencodable-written", "exchange/tool_request.cc",
      "  const std::optional<std::string> bytes = encodeToolRequest(request);\n"
      "  if (!bytes) return WriteOutcome::notEncodable;\n",
      "  const std::optional<std::string> bytes = encodeToolRequest(request).value_or(std::string());\n",
      "a request that cannot be encoded is written as an empty file"),
    F("manifest-null-roots", "exchange/rule_manifest.cc",
      "if (hasRoots && !rootsValue.is_null()) {",
      "if (hasRoots) {",
      '"watchedRoots":null makes the manifest fail'),
    F("manifest-duplicate-first", "exchange/rule_manifest.cc",
      "      rulesValue = field.value;\n      hasRules = true;",
      "      if (!hasRules) rulesValue = field.value;\n      hasRules = true;",
      'of a repeated "rules" member the first occurrence counts'),
    F("manifest-bad-rule-skipped", "exchange/rule_manifest.cc",
      "    if (!decodeRule(rule, index, manifest.rules, result.error)) return result;\n",
      "    (void)decodeRule(rule, index, manifest.rules, result.error);\n",
      "a broken rule is skipped instead of failing the whole manifest"),
    F("manifest-missing-member-name", "exchange/rule_manifest.cc",
      "jd::missingMember(hasId ? kNameKey : kIdKey)",
      "jd::missingMember(hasId ? kIdKey : kNameKey)",
      "the diagnostic names the wrong missing member of a rule"),
    F("manifest-quote-cut-mid-character", "exchange/json_document.h",
      "    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;\n", "",
      "a long value in a diagnostic is cut inside a UTF-8 sequence"),
    F("uuid-lower-case", "exchange/uuid.cc",
      'static constexpr char kDigits[] = "0123456789ABCDEF";',
      'static constexpr char kDigits[] = "0123456789abcdef";',
      "the UUID text form is written in lower case"),
    F("uuid-last-hyphen-unchecked", "exchange/uuid.cc",
      "int{p[18] != '-'} | int{p[23] != '-'}",
      "int{p[18] != '-'}",
      "the fourth hyphen of a UUID is not checked"),
    F("hex-sse2-g-accepted", "exchange/hex_digits.h",
      "_mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1))",
      "_mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 2))",
      'the vector hex decoder takes "g" for a digit'),
    F("hex-portable-g-accepted", "exchange/hex_digits.h",
      "inRange(low7 | each(0x20), 'a', 'f')",
      "inRange(low7 | each(0x20), 'a', 'g')",
      'the portable hex decoder takes "g" for a digit'),
    F("identity-empty-components", "exchange/identity.cc",
      "if (dot > start) components.push_back",
      "if (dot >= start) components.push_back",
      "empty components of the extension identifier are kept"),
    F("identity-empty-group", "exchange/identity.cc",
      "infoValue->kind == InfoValue::Kind::text && !infoValue->text.empty()",
      "infoValue->kind == InfoValue::Kind::text",
      "an empty app-group text in the Info.plist is taken instead of the default"),
    F("identity-not-once", "exchange/identity.cc",
      "  std::call_once(hostOnce_, [this] { host_ = deriveHostBundleIdentifier(platform_.bundleIdentifier()); });\n",
      "  host_ = deriveHostBundleIdentifier(platform_.bundleIdentifier());\n",
      "the host identifier is computed at every use, not once"),

    # ---- extension/: menu, commands, hand-off, selection ----
    F("menu-kind-off-by-one", "extension/menu_builder.h",
      "return kind <= kMenuKindContextualMenuForContainer;",
      "return kind <= kMenuKindContextualMenuForSidebar;",
      "the sidebar menu kind gets the Ferlo entry too"),
    F("merge-one-folder", "extension/commands.cc",
      "return offer.folders.size() >= 2;", "return offer.folders.size() >= 1;",
      "merge is offered, and goes on, with one selected folder"),
    F("menu-host-not-checked", "extension/menu_builder.cc",
      "if (!menuKindGetsEntry(kind) || !hostApplicationRuns(context)) return menu;",
      "if (!menuKindGetsEntry(kind)) return menu;",
      "the menu is built while the host application is not running"),
    F("menu-header-not-uppercased", "extension/menu_builder.cc",
      "AttributedTitle{platform.uppercasedWithCurrentLocale(text)}",
      "AttributedTitle{text};\n  (void)platform",
      "section headers' styled titles are not upper-cased"),
    F("commands-rule-without-string", "extension/commands.cc",
      "    case Sender::ObjectKind::other:\n      return;\n",
      "    case Sender::ObjectKind::other:\n      ruleID = sender.objectString;\n      break;\n",
      "runRule goes ahead with a represented object that is not a string"),
    F("commands-rule-tag-title-unchecked", "extension/rule_item_tags.cc",
      "    if (entry.titleHash != hash) return std::nullopt;\n", "    (void)hash;\n",
      "a rule item's tag is taken whatever title the clicked copy shows"),
    F("commands-rule-tag-other-process", "extension/rule_item_tags.cc",
      "  if ((tag & ~static_cast<std::int64_t>(kResidueMask)) != processBits_) return std::nullopt;\n", "",
      "a tag made by another extension process is looked up as this process's own"),
    F("commands-rule-tag-window-kept", "extension/rule_item_tags.cc",
      "      std::erase_if(menus_, [&](const RecordedMenu& menu) { return menu.first < windowStart; });\n",
      "      (void)windowStart;\n",
      "a menu stays resolvable after a new batch took over its residues"),
    F("commands-rule-tag-in-flight-unguarded", "extension/rule_item_tags.cc",
      "    for (std::uint64_t first : inFlight_) end = std::min(end, first + kWindow);\n", "",
      "a batch still being built has its residues given out again"),
    F("commands-rule-tag-dropped-batch-kept", "extension/rule_item_tags.cc",
      "  forget(owner_->inFlight_, first_);\n", "",
      "a batch dropped unrecorded keeps its share of the window"),
    F("commands-expiry-tag-zero", "extension/commands.cc",
      "if (sender.tag >= 1) request.days = sender.tag;",
      "if (sender.tag >= 0) request.days = sender.tag;",
      'the keep choice (tag 0) writes "days":0'),
    F("commands-no-handoff-after-failed-write", "extension/commands.cc",
      "  writeToolRequest(context.platform(), context.identity(), request);\n",
      "  if (tryWriteToolRequest(context.platform(), context.identity(), request) != WriteOutcome::written) return;\n",
      "no hand-off when the request could not be written"),
    F("handoff-one-level-off", "extension/handoff.cc",
      "platform.bundleURL().deletingLastPathComponent().deletingLastPathComponent().deletingLastPathComponent()",
      "platform.bundleURL().deletingLastPathComponent().deletingLastPathComponent()",
      "the hand-off opens one path level below the host application"),
    F("handoff-not-activating", "extension/handoff.cc",
      "platform.openApplicationAtURL(hostApplicationURL(platform), true);",
      "platform.openApplicationAtURL(hostApplicationURL(platform), false);",
      "the hand-off does not bring the host to the front"),
    F("selection-target-ignores-mark", "extension/selection.cc",
      "      if (url.hasDirectoryPath()) return url;\n",
      "      return url;\n",
      "the target folder is the first selected item, folder or not"),
    F("selection-files-include-folders", "extension/selection.cc",
      "    if (url.hasDirectoryPath()) continue;\n    if (rootSet.containsPath",
      "    if (rootSet.containsPath",
      "selected folders under a root count as files to expire"),
    F("selection-dotdot-standard", "extension/selection.cc",
      "    if (afterDot == '.' && (i + 3 >= size || path[i + 3] == '/')) return false;  // \"..\"\n", "",
      'a path with a ".." component is taken as already standard'),
    F("roots-without-final-slash", "extension/watched_root_set.cc",
      "      bytes_.append(root);\n      if (root.empty() || root.back() != '/') bytes_.push_back('/');\n",
      "      bytes_.append(root);\n",
      'a watched root is used without its final "/"'),
    F("roots-mark-joins-slash", "extension/watched_root_set.cc",
      "if (holds(hash, key.substr(0, length)) && endsCharacter(key, length)) return true;",
      "if (holds(hash, key.substr(0, length))) return true;",
      'a combining mark right after the root\'s "/" still counts as under the root'),
    F("roots-path-not-decomposed", "extension/watched_root_set.cc",
      "    decomposed = canonicalDecomposition(path);\n    key = decomposed;\n",
      "    decomposed = canonicalDecomposition(path);\n",
      "a non-ASCII path is compared without canonical decomposition"),
    F("roots-short-tail-hash", "extension/watched_root_set.cc",
      "return mix(h ^ (tail | (word << (8 * (8 - n)) >> (8 * (8 - n)) << 8)));",
      "return mix(h ^ (tail | (word << (8 * (8 - n)) >> (8 * (8 - n)))));",
      "the forward-load hash of a short segment differs from the byte-by-byte one"),
    F("expiry-no-separator", "extension/expiry_menu.cc",
      "  submenu->items.push_back(MenuItem::separatorItem());\n", "",
      "the expiry submenu lacks its separator"),
    F("expiry-keep-tag", "extension/expiry_menu.cc",
      "keep.tag = 0;", "keep.tag = -1;",
      "the keep choice carries tag -1"),
    F("glyph-width-floor", "extension/extension_context.cc",
      "image.width = std::round(size->width / size->height * kMenuGlyphHeight);",
      "image.width = std::floor(size->width / size->height * kMenuGlyphHeight);",
      "the glyph's scaled width is rounded down"),
    F("glyph-nan-height", "extension/extension_context.cc",
      "if (!size || !(size->height > 0)) return;",
      "if (!size || size->height <= 0) return;",
      "a NaN glyph height gives an image"),
    F("init-empty-home", "extension/finder_sync.cc",
      "FileURL watched = home && !home->empty() ?",
      "FileURL watched = home ?",
      'an empty home field registers "/" instead of the platform home'),
    F("perform-flatten-merges", "extension/command_table.h",
      "commands::runFlatten(context); }",
      "commands::runMergeSelected(context); }",
      "runFlatten: is dispatched to the merge command"),

    # ---- platform/: the atomic write, the bounded read, the stand-in ----
    F("files-link-followed", "platform/files/file_io.cc",
      "O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644",
      "O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644",
      "the temporary file is opened without O_EXCL|O_NOFOLLOW: a link at its name is followed"),
    F("files-no-file-fsync", "platform/files/file_io.cc",
      "  if (!writeAll(calls, fd, bytes) || retryOnInterrupt([&] { return calls.syncFile(fd); }) != 0) {",
      "  if (!writeAll(calls, fd, bytes)) {",
      "the temporary file is not flushed before the rename"),
    F("files-no-directory-fsync", "platform/files/file_io.cc",
      "  if (retryOnInterrupt([&] { return calls.syncDirectory(dirFd); }) != 0) {",
      "  if (retryOnInterrupt([&] { return 0; }) != 0) {",
      "the directory is not flushed after the rename"),
    F("files-temp-left-after-write-failure", "platform/files/file_io.cc",
      "    (void)calls.close(fd);\n    discardTemp();\n    return fail(error);",
      "    (void)calls.close(fd);\n    return fail(error);",
      "a failed write or flush leaves its temporary file behind"),
    F("files-temp-left-after-rename-failure", "platform/files/file_io.cc",
      "  if (calls.rename(dirFd, tempName.c_str(), finalName.c_str()) != 0) {\n    const int error = errno;\n    discardTemp();\n",
      "  if (calls.rename(dirFd, tempName.c_str(), finalName.c_str()) != 0) {\n    const int error = errno;\n",
      "a failed rename leaves its temporary file behind"),
    F("files-no-undo", "platform/files/file_io.cc",
      "        if (calls.rename(dirFd, oldName.c_str(), finalName.c_str()) != 0) discardOld();\n",
      "        discardOld();\n",
      "a failed directory flush does not put the previous file back"),
    F("files-old-name-left", "platform/files/file_io.cc",
      "  discardOld();\n  return true;\n}", "  return true;\n}",
      'a successful replace leaves the previous file\'s ".old" name behind'),
    F("files-close-error-ignored", "platform/files/file_io.cc",
      "if (calls.close(fd) != 0 && errno != EINTR) {",
      "if (calls.close(fd) != 0 && errno == EBADF) {",
      "an I/O error from close is ignored"),
    F("files-write-eintr-fails", "platform/files/file_io.cc",
      "    ssize_t n = calls.write(fd, bytes.data(), bytes.size());\n    if (n < 0) {\n      if (errno == EINTR) continue;\n",
      "    ssize_t n = calls.write(fd, bytes.data(), bytes.size());\n    if (n < 0) {\n",
      "an interrupted write fails the replace instead of being retried"),
    F("files-one-create-attempt", "platform/files/file_io.cc",
      "attempt < kCreateAttempts && fd < 0", "attempt < 1 && fd < 0",
      "a taken temporary name is not retried under another name"),
    F("files-dotdot-name", "platform/files/file_io.cc",
      'return !name.empty() && name != "." && name != ".." &&',
      'return !name.empty() && name != "." &&',
      'the file name ".." is accepted'),
    F("files-stale-live-writer", "platform/files/file_io.cc",
      "    if (!processIsGone(*pid)) continue;\n", "",
      "the clean-up removes a live writer's temporary file"),
    F("files-stale-young", "platform/files/file_io.cc",
      "    if (changed > cutoff) continue;\n", "",
      "the clean-up removes leftovers younger than ten minutes"),
    F("files-stale-upper-hex", "platform/files/file_io.cc",
      "bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');",
      "bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');",
      "the clean-up takes names with upper-case hex for leftovers"),
    F("files-no-read-padding", "platform/files/file_io.cc",
      "bytes.reserve(static_cast<std::size_t>(size) + kReadPadding);",
      "bytes.reserve(static_cast<std::size_t>(size));",
      "a file is read without the spare capacity the parser reads into"),
    F("posix-group-with-slash", "platform/stand_in/posix_platform.cc",
      'return !name.empty() && name != "." && name != ".." && name.find(\'/\') == std::string_view::npos &&',
      'return !name.empty() && name != "." && name != ".." &&',
      'a group identifier with "/" reaches a directory below the containers root'),
    F("posix-relative-root", "platform/stand_in/posix_platform.cc",
      "if (root.empty() || root.front() != '/' || root.find('\\0') != std::string::npos) return std::nullopt;",
      "if (root.empty() || root.find('\\0') != std::string::npos) return std::nullopt;",
      "a relative containers root is accepted"),
    F("posix-directory-url-written", "platform/stand_in/posix_platform.cc",
      "  if (url.hasDirectoryPath() || slash == std::string::npos) {",
      "  if (slash == std::string::npos) {",
      "a directory URL is taken for a file to replace"),
    F("posix-empty-bundle-id-runs", "platform/stand_in/posix_platform.cc",
      "  if (bundleIdentifier.empty()) return 0;\n", "",
      "an empty bundle identifier counts as running"),
    F("posix-relative-xdg", "platform/stand_in/posix_platform.cc",
      "xdg && xdg->front() == '/'", "xdg",
      "a relative XDG_DATA_HOME is used"),
    F("png-crc-range", "platform/stand_in/png_size.cc",
      "crc32(bytes.substr(12, 4 + 13))", "crc32(bytes.substr(16, 13))",
      "the header checksum is computed over the data without the chunk type"),
    F("png-interlace-2", "platform/stand_in/png_size.cc",
      "interlace > 1", "interlace > 2",
      "interlace method 2 is accepted"),
    F("png-width-unbounded", "platform/stand_in/png_size.cc",
      "width > kMaxDimension || height > kMaxDimension", "height > kMaxDimension",
      "a width above 2^31-1 is accepted"),
    F("url-raw-nul", "platform/file_url.cc",
      "      if (c == '\\0') return std::nullopt;\n", "",
      "a raw NUL in URL text is taken into the path"),
    F("url-one-final-slash", "platform/file_url.cc",
      "while (end > 1 && decodedPath_[end - 1] == '/') --end;",
      "if (end > 1 && decodedPath_[end - 1] == '/') --end;",
      'path() removes only one of several final "/"'),
    F("url-dotdot-not-folder", "platform/file_url.cc",
      "      if (!kept.empty()) kept.pop_back();\n      if (last) directory = true;\n",
      "      if (!kept.empty()) kept.pop_back();\n",
      'a path ending in ".." does not become a directory URL when standardised'),
    F("url-space-unescaped", "platform/file_url.cc",
      "    case '!': case '$':", "    case ' ': case '!': case '$':",
      "a space is left unescaped in URL text made from a path"),
    F("plural-zero-ignored", "platform/stand_in/localizer.cc",
      '      if (n == 0) form = forms.find("zero");\n', "",
      'the "zero" variant is not used for 0'),
    F("plural-proxy", "platform/stand_in/localizer.cc",
      "return static_cast<std::int64_t>(kLimit + magnitude % kLimit);",
      "return static_cast<std::int64_t>(magnitude % kLimit);",
      "large counts take the plural category of their last seven digits alone"),
    F("localizer-no-fallback", "platform/stand_in/localizer.cc",
      "if (!impl.hasOwnTable || impl.language != kDevelopmentLanguage) {",
      "if (!impl.hasOwnTable) {",
      "a language with its own table does not fall back to English for missing keys"),

    # ---- platform/stand_in tables and appex rendering ----
    F("plist-binary-values-off-by-one", "platform/stand_in/property_list.cc",
      "      if (top.total.values > kMaxPropertyListValues) return refuse(\"the property list has too many values\");",
      "      if (top.total.values >= kMaxPropertyListValues) return refuse(\"the property list has too many values\");",
      "the binary guard refuses an expansion of exactly the value limit (off by one)"),
    F("plist-binary-text-unbounded", "platform/stand_in/property_list.cc",
      "      if (top.total.bytes > kMaxPropertyListTextBytes) return refuse(\"the property list has too much text\");\n",
      "",
      "the binary guard does not bound the text a shared string expands into"),
    F("plist-dict-keys-limit", "platform/stand_in/property_list.cc",
      "++parent.children > 2 * kMaxPropertyListXmlDictionaryKeys)",
      "++parent.children > 2 * kMaxPropertyListXmlDictionaryKeys + 2)",
      "an XML dictionary one key over the limit is let through"),
    F("plist-binary-nul-key", "platform/stand_in/property_list.cc",
      "          if (unit == 0) return refuseText(\"U+0000\", pos + 2 * i);\n",
      "",
      "a UTF-16 string with U+0000 reaches libplist"),
    F("strings-octal-above-ascii", "platform/stand_in/strings_file.cc",
      "if (value > 0177) return fail", "if (value > 0377) return fail",
      "an octal escape above \\177 is taken as a byte"),
    F("strings-escape-v-dropped", "platform/stand_in/strings_file.cc",
      "        case 'v': out.push_back('\\v'); break;\n", "",
      "\\v stands for the letter v instead of a vertical tab"),
    F("strings-surrogate-pair-shift", "platform/stand_in/strings_file.cc",
      "unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);",
      "unit = 0x10000 + ((unit - 0xD800) << 9) + (low - 0xDC00);",
      "a \\U surrogate pair is combined with the wrong shift"),
    F("stringsdict-non-dictionary-entry", "platform/stand_in/stringsdict_file.cc",
      "    if (value.kind == InfoValue::Kind::dictionary) table.insert_or_assign(key, entryOf(value));",
      "    table.insert_or_assign(key, entryOf(value));",
      "a top-level value that is not a dictionary becomes an empty entry"),
    F("plural-other-not-fallback", "platform/stand_in/localizer.cc",
      '      if (form == forms.end()) form = forms.find("other");\n', "",
      'a missing category variant does not fall back to "other"'),
    F("plural-fallback-own-rules", "platform/stand_in/localizer.cc",
      "tables == &own ? pluralRules.get() : fallbackPluralRules.get();",
      "pluralRules.get();",
      "the English fallback's variants are chosen by the user's language's plural rules"),
    F("upper-root-locale", "platform/stand_in/localizer.cc",
      "  unicode.toUpper(impl_->icuLocale);", "  unicode.toUpper(icu::Locale::getRoot());",
      "upper-casing ignores the locale (Turkish dotted I)"),
    F("appex-image-shared", "appex/menu_renderer.mm",
      "  NSImage* copy = FERLO_AUTORELEASE([named copy]);", "  NSImage* copy = named;",
      "the renderer resizes the shared named image instead of a copy"),
    F("appex-template-always", "appex/menu_renderer.mm",
      "  [copy setTemplate:image.isTemplate ? YES : NO];", "  [copy setTemplate:YES];",
      "every rendered image is a template image"),
    F("appex-header-colour", "appex/menu_renderer.mm",
      "[NSColor secondaryLabelColor],", "[NSColor textColor],",
      "section headers are drawn in the plain text colour"),
    F("appex-represented-object-dropped", "appex/menu_renderer.mm",
      "  if (item.representedObject) [rendered setRepresentedObject:toNSString(*item.representedObject)];\n", "",
      "rendered items lose their represented object"),
    F("macos-open-never-activates", "platform/macos/mac_platform.mm",
      "  [configuration setActivates:activates ? YES : NO];", "  [configuration setActivates:NO];",
      "the workspace open never activates the host"),

    # ---- tools/ferlo/: the command-line program ----
    F("cli-menu-path-bound", "tools/ferlo/menu_path.cc",
      "if (index >= current->items.size()) {", "if (index > current->items.size()) {",
      "a menu path one past the last item is taken (off by one)"),
    F("cli-click-tag", "tools/ferlo/finder_copy.cc",
      "  copy.tag = item.tag;\n", "",
      "the Finder's copy of a chosen item loses its tag"),
    F("cli-number-object-is-string", "tools/ferlo/command_click.cc",
      "      sender.objectKind = Sender::ObjectKind::other;",
      "      sender.objectKind = Sender::ObjectKind::string;",
      "send --object-number delivers a string object"),
    F("cli-host-running-wrong-id", "tools/ferlo/scenario.cc",
      "std::string host = deriveHostBundleIdentifier(config.bundleIdentifier);",
      "std::string host = config.bundleIdentifier.value_or(std::string());",
      "--host-running registers the extension's identifier instead of the host's"),
    F("cli-json-del-raw", "exchange/json_writer.cc",
      "    if (style == JsonStyle::program) needsEscape[0x7F] = true;\n", "",
      "the program's JSON output writes DEL raw instead of as \\u007f"),

    # ---- tools/ferlo: the program's contract ----
    F("tools-doctor-empty-exits-0", "tools/ferlo/command_doctor.cc",
      "though no step found a reason\");\n    }\n    return kExitFailure;",
      "though no step found a reason\");\n    }\n    return kExitOk;",
      "doctor exits 0 when the menu would be empty"),
    F("tools-doctor-del-raw", "tools/ferlo/json_output.cc",
      "} else if (c < 0x20 || c == 0x7F) {", "} else if (c < 0x20) {",
      "doctor's lines keep DEL raw instead of escaping it"),
    F("tools-check-where-blank", "tools/ferlo/command_check.cc",
      "decoded.error.where.empty() ? std::string(\"(document)\")",
      "decoded.error.where.empty() ? std::string()",
      "check prints an empty WHERE for a fault of the whole document"),
    F("tools-check-unreadable-exit-1", "tools/ferlo/command_check.cc",
      "(fifo ? \" (give - as FILE to read standard input)\" : \"\"));\n    return kExitUsage;",
      "(fifo ? \" (give - as FILE to read standard input)\" : \"\"));\n    return kExitFailure;",
      "check exits 1 (invalid) for a file it cannot read"),
    F("tools-check-dash-is-a-file", "tools/ferlo/command_check.cc",
      "file == \"-\" ? readStandardInput() : readRegularFile(file, kMaxReadBytes)",
      "readRegularFile(file, kMaxReadBytes)",
      "check - opens a file named \"-\" instead of reading standard input"),
    F("tools-stdout-error-ignored", "tools/ferlo/command_line.cc",
      "    return kExitOutput;\n  }\n  if (std::ferror(stderr))",
      "    return status;\n  }\n  if (std::ferror(stderr))",
      "a failed write to standard output keeps the command's own exit status"),
    F("tools-stderr-error-ignored", "tools/ferlo/command_line.cc",
      "  if (std::ferror(stderr)) return kExitOutput;\n", "",
      "a failed write to standard error is not an output error"),
    F("tools-demo-signal-leaves-home", "tools/ferlo/command_demo.cc",
      "    fs::remove_all(directory, ignored);  // the child removes it when it can end normally\n",
      "    if (!WIFSIGNALED(status)) fs::remove_all(directory, ignored);\n",
      "a demo stopped by a signal leaves its temporary home behind"),

    # ---- appex/ and platform/macos/: the Objective-C++ layer (GNUstep suite) ----
    F("appex-disabled-ignored", "appex/menu_renderer.mm",
      "  if (!item.enabled) [rendered setEnabled:NO];\n", "",
      "rendered items are never disabled"),
    F("appex-tag-dropped", "appex/menu_renderer.mm",
      "  [rendered setTag:static_cast<NSInteger>(item.tag)];\n", "",
      "rendered items lose their tag"),
    F("appex-other-object-none", "appex/sender_conversion.mm",
      "  } else if (object != nil) {\n    result.objectKind = Sender::ObjectKind::other;\n  }\n", "  }\n",
      "a represented object that is not a string converts to none"),
    F("appex-init-registers-once", "appex/FinderSync.mm",
      "if (!makePrincipalOnce(process)) ferlo::FinderSync registration(process.context);",
      "(void)makePrincipalOnce(process);",
      "only the first init registers the home directory"),
    F("macos-selection-non-url", "platform/macos/mac_platform.mm",
      "    if (![item isKindOfClass:[NSURL class]]) continue;\n", "",
      "a selected item that is not an NSURL is converted anyway"),
]


# ---- running ----

class Interrupted(Exception):
    pass


def on_sigterm(signum, frame):
    raise Interrupted()


def log(message):
    print(message, flush=True)


def run(command, timeout=None, cwd=ROOT):
    """Runs `command` in a process group of its own; returns (status, output).
    A timeout kills the whole group and gives status None."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               text=True, errors="replace", start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
        return process.returncode, output
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, _ = process.communicate()
        return None, output
    except BaseException:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.communicate()
        raise


def configure(build_dir, gnustep):
    command = ["cmake", "-S", ROOT, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
               "-DFERLO_BUILD_BENCH=OFF", "-DFERLO_BUILD_GNUSTEP=" + ("ON" if gnustep else "OFF")]
    status, output = run(command)
    if status != 0:
        sys.exit("seed_faults: configuring failed:\n" + output[-3000:])


def build(build_dir, jobs, timeout):
    return run(["cmake", "--build", build_dir, "-j", str(jobs)], timeout=timeout)


FAILED_LINE = re.compile(r"^\s*\d+\s+-\s+(.*?)\s+\(([^()]*)\)\s*$")


def test_programs(build_dir):
    """Maps each ctest test name to the program that runs it."""
    status, output = run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"])
    programs = {}
    if status != 0:
        return programs
    for test in json.loads(output).get("tests", []):
        command = test.get("command") or []
        program = os.path.basename(command[0]) if command else "?"
        if "xvfb" in program and len(command) > 2:
            program = os.path.basename(command[-1])
        programs[clean_name(test["name"])] = program
    return programs


def clean_name(name):
    return name.split("  # ")[0].strip()


def run_tests(build_dir, jobs, budget):
    """Every suite of the build; tests still running when the budget is spent
    are stopped and count as failed. Returns (failed names, all passed, output)."""
    stop = (datetime.datetime.now() + datetime.timedelta(seconds=budget)).strftime("%H:%M:%S")
    status, output = run(["ctest", "--test-dir", build_dir, "-j", str(jobs), "--stop-time", stop],
                         timeout=budget + 120)
    failed = []
    in_list = False
    for line in output.splitlines():
        if line.startswith("The following tests FAILED:"):
            in_list = True
            continue
        if in_list:
            match = FAILED_LINE.match(line)
            if match:
                failed.append((clean_name(match.group(1)), match.group(2)))
            elif line.strip() and not line.startswith("\t") and not line.startswith(" "):
                in_list = False
    if status is None:
        failed.append(("(ctest did not end in time)", "Timeout"))
    passed = status == 0 and not failed
    if status not in (0, None) and not failed:
        failed.append(("(ctest failed without a list: " + output.strip().splitlines()[-1][:200] + ")", "Error"))
    return failed, passed, output


def pending_path(build_dir):
    return os.path.join(build_dir, PENDING_NAME)


def restore_pending(build_dir):
    """Puts back a file left faulted by a run that was killed outright."""
    path = pending_path(build_dir)
    if not os.path.exists(path):
        return
    with open(path) as f:
        pending = json.load(f)
    source = os.path.join(ROOT, pending["file"])
    with open(source, encoding="utf-8") as f:
        current = f.read()
    if current == pending["faulted"]:
        with open(source, "w", encoding="utf-8") as f:
            f.write(pending["original"])
        log(f"seed_faults: restored {pending['file']} left faulted by an earlier run")
    os.remove(path)


def apply_fault(fault, build_dir):
    """Returns (original file text, faulted text), or None when not applicable."""
    path = os.path.join(ROOT, fault.file)
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if text.count(fault.original) != 1:
        return None
    faulted = text.replace(fault.original, fault.replacement)
    with open(pending_path(build_dir), "w") as f:
        json.dump({"file": fault.file, "original": text, "faulted": faulted}, f)
    with open(path, "w", encoding="utf-8") as f:
        f.write(faulted)
    return text, faulted


def restore(fault, original, build_dir):
    # Written anew rather than with its old time stamp: the build must see
    # the file as newer than the faulty object made from it.
    with open(os.path.join(ROOT, fault.file), "w", encoding="utf-8") as f:
        f.write(original)
    try:
        os.remove(pending_path(build_dir))
    except FileNotFoundError:
        pass


def applicable(fault):
    path = os.path.join(ROOT, fault.file)
    if not os.path.exists(path):
        return False
    with open(path, encoding="utf-8") as f:
        return f.read().count(fault.original) == 1


def seed(fault, args, programs):
    result = {"id": fault.id, "file": fault.file, "description": fault.description, "failed": [],
              "seconds": 0.0}
    if fault.needs_gnustep and not args.gnustep:
        result["result"] = "not run"
        result["note"] = "needs --gnustep"
        return result
    started = time.monotonic()
    applied = apply_fault(fault, args.build_dir)
    if applied is None:
        result["result"] = "not applicable"
        result["note"] = "original text not found exactly once"
        return result
    original, _ = applied
    try:
        status, output = build(args.build_dir, args.jobs, args.timeout)
        if status != 0:
            result["result"] = "does not compile"
            errors = [line for line in output.splitlines() if "error" in line]
            result["note"] = (errors[0] if errors else output.strip().splitlines()[-1])[:300]
        else:
            failed, _, _ = run_tests(args.build_dir, args.jobs, args.timeout)
            result["failed"] = [{"test": name, "status": status, "program": programs.get(name, "?")}
                                for name, status in failed]
            result["result"] = "caught" if failed else "missed"
    finally:
        restore(fault, original, args.build_dir)
        result["seconds"] = round(time.monotonic() - started, 1)
    return result


def markdown(results, args, commit, suites, started, elapsed):
    counted = [r for r in results if r["result"] in ("caught", "missed")]
    caught = sum(r["result"] == "caught" for r in results)
    lines = [
        "# Seeded faults",
        "",
        f"- Date: {started:%Y-%m-%d %H:%M}",
        f"- Commit: `{commit}`",
        f"- Build: `{os.path.relpath(args.build_dir, ROOT)}/` (RelWithDebInfo, benchmarks off"
        + (", GNUstep layer on" if args.gnustep else "") + ")",
        f"- Suites run by ctest: {', '.join(suites)}",
        f"- Command: `tests/faults/seed_faults.py {' '.join(shlex.quote(a) for a in sys.argv[1:])}`",
        f"- Caught {caught} of {len(counted)} faults run"
        + "".join(f"; {sum(r['result'] == kind for r in results)} {kind}"
                  for kind in ("does not compile", "not applicable", "not run")
                  if any(r["result"] == kind for r in results)),
        f"- Time: {elapsed / 60:.1f} minutes in all, "
        f"{(sum(r['seconds'] for r in counted) / max(1, len(counted))):.0f} s per fault "
        "(incremental build and the whole suite, on two shared cores)",
        "",
        "| Fault | File | What is wrong | Result | Failing tests (program: count) | Some of them |",
        "|---|---|---|---|---|---|",
    ]
    for r in results:
        by_program = {}
        for failure in r["failed"]:
            by_program[failure["program"]] = by_program.get(failure["program"], 0) + 1
        programs = ", ".join(f"{p}: {n}" for p, n in sorted(by_program.items()))
        names = [f["test"] for f in r["failed"][:3]]
        more = len(r["failed"]) - len(names)
        sample = "<br>".join(f"`{n}`" for n in names) + (f"<br>+{more} more" if more > 0 else "")
        if r.get("note") and r["result"] != "caught":
            sample = r["note"].replace("|", "\\|")
        description = r["description"].replace("|", "\\|")
        lines.append(f"| `{r['id']}` | `{r['file']}` | {description} | **{r['result']}** | {programs} | {sample} |")
    lines.append("")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("ids", nargs="*", help="fault ids or shell patterns (default: every fault)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build-faults"))
    parser.add_argument("--gnustep", action="store_true", help="also build and run the GNUstep suite")
    parser.add_argument("--results", help="write the results table (markdown) to this file")
    parser.add_argument("--json", help="write the full results (every failing test) as JSON")
    parser.add_argument("--timeout", type=int, default=600, help="seconds per fault for the build and for the tests")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--list", action="store_true", help="list the faults and exit")
    parser.add_argument("--check", action="store_true", help="say which faults are not applicable and exit")
    args = parser.parse_args()
    args.build_dir = os.path.abspath(args.build_dir)

    ids = [f.id for f in FAULTS]
    if len(set(ids)) != len(ids):
        sys.exit("seed_faults: duplicate fault ids")
    selected = [f for f in FAULTS if not args.ids or any(fnmatch.fnmatchcase(f.id, p) for p in args.ids)]
    if not selected:
        sys.exit("seed_faults: no fault matches " + " ".join(args.ids))
    if args.list or args.check:
        for f in selected:
            state = "" if not args.check else ("ok              " if applicable(f) else "NOT APPLICABLE  ")
            print(f"{state}{f.id:42} {f.file:34} {f.description}")
        return 0 if not args.check or all(applicable(f) for f in selected) else 1

    # Also when started in the background, where SIGINT arrives ignored.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGTERM, on_sigterm)
    if signal.getsignal(signal.SIGHUP) != signal.SIG_IGN:  # nohup keeps running
        signal.signal(signal.SIGHUP, on_sigterm)
    started = datetime.datetime.now()
    clock = time.monotonic()
    os.makedirs(args.build_dir, exist_ok=True)
    restore_pending(args.build_dir)
    commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], capture_output=True,
                            text=True).stdout.strip()
    dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout.strip()
    if dirty:
        commit += " (with uncommitted changes)"

    log(f"seed_faults: configuring and building {args.build_dir}")
    configure(args.build_dir, args.gnustep)
    status, output = build(args.build_dir, args.jobs, None)
    if status != 0:
        sys.exit("seed_faults: the unfaulted build fails:\n" + output[-3000:])
    programs = test_programs(args.build_dir)
    suites = sorted(set(programs.values()))
    log(f"seed_faults: the unfaulted suite ({len(programs)} tests in {', '.join(suites)})")
    failed, passed, output = run_tests(args.build_dir, args.jobs, args.timeout)
    if not passed:
        sys.exit("seed_faults: the suite fails without any fault: " +
                 ", ".join(name for name, _ in failed[:10]))

    results = []
    try:
        for number, fault in enumerate(selected, 1):
            result = seed(fault, args, programs)
            results.append(result)
            detail = f"{len(result['failed'])} failing" if result["result"] == "caught" else result.get("note", "")
            log(f"[{number}/{len(selected)}] {fault.id}: {result['result']} ({detail}) {result['seconds']} s")
    except (KeyboardInterrupt, Interrupted):
        log("seed_faults: interrupted; the source is restored, the results so far are kept")
    finally:
        elapsed = time.monotonic() - clock
        if args.results:
            with open(args.results, "w") as f:
                f.write(markdown(results, args, commit, suites, started, elapsed))
        if args.json:
            with open(args.json, "w") as f:
                json.dump({"commit": commit, "date": started.isoformat(), "suites": suites,
                           "gnustep": args.gnustep, "results": results}, f, indent=1)
    counted = [r for r in results if r["result"] in ("caught", "missed")]
    caught = sum(r["result"] == "caught" for r in results)
    log(f"seed_faults: caught {caught} of {len(counted)}; "
        f"missed: {', '.join(r['id'] for r in results if r['result'] == 'missed') or 'none'}")
    broken = [r["id"] for r in results if r["result"] in ("does not compile", "not applicable")]
    if broken:
        log("seed_faults: not usable: " + ", ".join(broken))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (KeyboardInterrupt, Interrupted):
        sys.exit("seed_faults: interrupted before any fault was seeded")
