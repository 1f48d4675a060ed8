// Linux part of TStrUtils: reads the content types the system registers (mime.types, shared-mime-info).
// Only what depends on the system's files belongs here; the lookup itself is in StrUtils.cpp.
#include "MimeTypes.h"
#include "TextHelpers.h"

#include <glib.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <unordered_set>

namespace velmora::mime {

namespace {

bool HasUpperCase(std::string_view text)
{
  return std::any_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// Calls onLine for each line of text, without its line end.
template <class F>
void ForEachLine(std::string_view text, F onLine)
{
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    onLine(line);
    if (end == std::string_view::npos)
      break;
    text.remove_prefix(end + 1);
  }
}

// "*.ext" with nothing else that is special to a glob. A further "." is refused too: the
// lookup takes the extension from the last ".", so "*.tar.gz" could never be found.
bool IsSimpleExtensionGlob(std::string_view glob)
{
  return glob.size() > 2 && glob.starts_with("*.") && glob.find_first_of("*?[]\\.", 2) == std::string_view::npos;
}

bool HasCaseSensitiveFlag(std::string_view flags)
{
  bool found = false;
  size_t start = 0;
  while (start <= flags.size()) {
    const size_t end = std::min(flags.find(',', start), flags.size());
    found = found || flags.substr(start, end - start) == "cs";
    start = end + 1;
  }
  return found;
}

std::string ReadTextFile(const std::string& path)
{
  std::ifstream file(path, std::ios::binary);
  return file ? std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()) : std::string();
}

} // namespace

TMimeTable ParseMimeTypes(std::string_view text)
{
  TMimeTable records;
  ForEachLine(text, [&records](std::string_view line) {
    line = line.substr(0, line.find('#'));
    constexpr std::string_view kBlanks = " \t";
    std::string type;
    size_t pos = line.find_first_not_of(kBlanks);
    while (pos != std::string_view::npos) {
      const size_t end = std::min(line.find_first_of(kBlanks, pos), line.size());
      const std::string_view word = line.substr(pos, end - pos);
      if (type.empty()) {
        if (word.find('/') == std::string_view::npos)
          return; // not a type: the line is no record
        type = text::AsciiLower(word);
      } else {
        records.try_emplace("." + text::AsciiLower(word), type);
      }
      pos = line.find_first_not_of(kBlanks, end);
    }
  });
  return records;
}

TMimeTable ParseGlobs2(std::span<const std::string> textsByPrecedence)
{
  struct TCandidate {
    int Weight;
    bool WrittenInLowerCase;
    std::string ContentType;

    // Names are looked up with letter case ignored, but most are lower case, and the system
    // matches a glob of the name's own case first: so at equal weight "*.c" beats "*.C".
    bool Beats(const TCandidate& other) const
    {
      return Weight > other.Weight || (Weight == other.Weight && WrittenInLowerCase && !other.WrittenInLowerCase);
    }
  };
  std::unordered_map<std::string, TCandidate> best;
  std::unordered_set<std::string> closedTypes; // "__NOGLOBS__" in a file of higher precedence

  for (const std::string& text : textsByPrecedence) {
    std::unordered_set<std::string> closedHere;
    ForEachLine(text, [&](std::string_view line) {
      if (line.empty() || line.front() == '#')
        return;
      // weight:type:glob[:flags[:...]]
      std::string_view fields[4];
      size_t count = 0;
      for (size_t start = 0; count < 4 && start <= line.size(); ++count) {
        const size_t end = std::min(line.find(':', start), line.size());
        fields[count] = line.substr(start, end - start);
        start = end + 1;
      }
      if (count < 3 || fields[1].empty())
        return;
      int weight = 0;
      const auto [ptr, error] = std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), weight);
      if (error != std::errc() || ptr != fields[0].data() + fields[0].size())
        return;
      std::string type = text::AsciiLower(fields[1]);
      const std::string_view glob = fields[2];
      if (glob == "__NOGLOBS__") {
        closedHere.insert(std::move(type));
        return;
      }
      if (closedTypes.contains(type) || !IsSimpleExtensionGlob(glob))
        return;
      // A case-sensitive glob with capitals never matches the lower-case names most files
      // have, and our lookup cannot tell the cases apart: such a "*.C" must not claim ".c".
      const bool writtenInLowerCase = !HasUpperCase(glob);
      if (!writtenInLowerCase && count == 4 && HasCaseSensitiveFlag(fields[3]))
        return;
      TCandidate candidate{weight, writtenInLowerCase, std::move(type)};
      const auto [found, inserted] = best.try_emplace(text::AsciiLower(glob.substr(1)), candidate);
      if (!inserted && candidate.Beats(found->second))
        found->second = std::move(candidate);
    });
    closedTypes.merge(closedHere);
  }

  TMimeTable records;
  records.reserve(best.size());
  for (auto& [extension, candidate] : best)
    records.emplace(extension, std::move(candidate.ContentType));
  return records;
}

TMimeTable SystemRecordsFromTexts(std::string_view mimeTypesText, std::span<const std::string> globs2TextsByPrecedence)
{
  TMimeTable records = ParseMimeTypes(mimeTypesText);
  Overlay(records, ParseGlobs2(globs2TextsByPrecedence));
  return records;
}

TMimeTable ReadSystemRecords()
{
  // GLib applies the XDG defaults: ~/.local/share, then /usr/local/share:/usr/share.
  std::vector<std::string> globs;
  globs.push_back(ReadTextFile(std::string(g_get_user_data_dir()) + "/mime/globs2"));
  for (const gchar* const* dir = g_get_system_data_dirs(); *dir != nullptr; ++dir)
    globs.push_back(ReadTextFile(std::string(*dir) + "/mime/globs2"));
  return SystemRecordsFromTexts(ReadTextFile("/etc/mime.types"), globs);
}

} // namespace velmora::mime
