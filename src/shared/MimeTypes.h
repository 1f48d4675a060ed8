// The content-type table behind TStrUtils::GetFileMIMEType, declared apart so tests can reach its parts.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora::mime {

struct TMimeRow {
  std::string_view Extension;   // lower case, with its leading "."
  std::string_view ContentType; // lower case
};

// The built-in list in its written order (MimeTypes.cpp). A few extensions stand twice;
// the first of their rows is the one that counts.
std::span<const TMimeRow> BuiltInRows();

// Extension (lower case, with its leading ".") -> content type (lower case).
using TMimeTable = std::unordered_map<std::string, std::string>;

// The built-in list as a table, first row kept for an extension that stands twice.
TMimeTable BuiltInTable();

// Lays records over a table: each record's extension takes the record's type, whether or not
// the table had that extension before.
void Overlay(TMimeTable& table, const TMimeTable& records);

// The extension of a file name as GetFileMIMEType reads it: from the last "." to the end,
// unless a "\" or ":" follows that "."; lower-cased (ASCII). "" when there is none.
std::string FileExtension(std::string_view fileName);

// The content type the table gives a file name. An extension the table lacks gets its standard
// type when it is one of the modern web's (ModernWebRows), otherwise "application/octet-stream".
std::string LookUp(const TMimeTable& table, std::string_view fileName);

// Types of the modern web's extensions (.mjs, .wasm, .json, .woff2, ...): what LookUp falls back
// on, so a module script or a font does not depend on what the machine happens to register.
std::span<const TMimeRow> ModernWebRows();

// Whether a content type is text, whose responses name their character set: text/*, JavaScript,
// JSON and XML types (with "+json" and "+xml" ones, SVG included).
bool IsTextType(std::string_view contentType);

// The content types the operating system registers, read afresh on each call (the caller keeps
// the result). Windows: the registry (StrUtils_win.cpp). Linux: /etc/mime.types with the
// shared-mime-info glob files laid over it (StrUtils_posix.cpp).
TMimeTable ReadSystemRecords();

#ifndef _WIN32
// Records of a mime.types text: "type ext ext ..." per line, "#" starts a comment. Both sides
// are lower-cased; for an extension listed under several types the first line wins.
TMimeTable ParseMimeTypes(std::string_view text);

// Records of shared-mime-info "globs2" texts ("weight:type:glob[:flags]"), given in order of
// precedence, user data home first. Only simple "*.ext" globs count, lower-cased. For an
// extension the higher weight wins; at equal weight a glob written in lower case beats one with
// capitals, then the earlier file, then the earlier line wins. A case-sensitive ("cs") glob
// with capitals is left out. "__NOGLOBS__" for a type drops that type's globs from the files
// after it.
TMimeTable ParseGlobs2(std::span<const std::string> textsByPrecedence);

// What ReadSystemRecords makes of the texts it reads: the mime.types records with the globs2
// records laid over them.
TMimeTable SystemRecordsFromTexts(std::string_view mimeTypesText, std::span<const std::string> globs2TextsByPrecedence);
#endif

} // namespace velmora::mime
