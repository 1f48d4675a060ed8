// TStrUtils: the stateless text operations the runtime shares with the packaging tool.
//
// Text is UTF-8 in and out. Where an operation speaks of characters, a character is one UTF-16
// code unit (a character outside the Basic Multilingual Plane counts as two), and positions
// count from 1.
//
// GetFileMIMEType reads the built-in list (MimeTypes.cpp) with the operating system's own
// records laid over it; an extension the system registers takes the system's type.
// - Windows: the registry. First every HKEY_CLASSES_ROOT\.ext key with a "Content Type" string,
//   then every HKEY_CLASSES_ROOT\MIME\Database\Content Type\<type> key with an "Extension"
//   string, the later assignment replacing the earlier one.
// - Linux: /etc/mime.types, with the shared-mime-info glob files ("globs2" under
//   $XDG_DATA_HOME/mime and each $XDG_DATA_DIRS/mime) laid over it. The glob files win because
//   they are the database GIO, the file manager and the browser engine itself consult, so a
//   file is served with the type the desktop shows for it; mime.types only adds extensions the
//   desktop database does not know.
// The merged table is built once per process, on first use, because reading the system's
// records on every request would be slow; records added to the system later are not seen.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

using TArrayStrings = std::vector<std::string>;

enum class TSearchOption : unsigned {
  Down = 1U << 0U,
  MatchCase = 1U << 1U,
  WholeWord = 1U << 2U,
};

// A set of TSearchOption values: TSearchOption::MatchCase | TSearchOption::WholeWord.
class TSearchOptions {
public:
  constexpr TSearchOptions() = default;
  constexpr TSearchOptions(TSearchOption option) : FBits(static_cast<unsigned>(option)) {}

  constexpr bool Contains(TSearchOption option) const { return (FBits & static_cast<unsigned>(option)) != 0U; }
  constexpr TSearchOptions operator|(TSearchOptions other) const { return FromBits(FBits | other.FBits); }

private:
  static constexpr TSearchOptions FromBits(unsigned bits)
  {
    TSearchOptions options;
    options.FBits = bits;
    return options;
  }

  unsigned FBits = 0;
};

constexpr TSearchOptions operator|(TSearchOption a, TSearchOption b) { return TSearchOptions(a) | b; }

// Whether Text matches Pattern, where "*" stands for any run of bytes and "?" for one byte;
// everything else matches itself exactly.
bool MatchesWildcard(std::string_view Pattern, std::string_view Text);

class TStrUtils {
public:
  TStrUtils() = delete;

  // The JSON string literal of value, quotes included. Control characters, the double quote,
  // the backslash and the solidus are escaped, and so is every UTF-16 code unit from U+20AC up
  // (surrogates included) as \uXXXX with upper-case digits; U+0080..U+20AB stay as they are.
  // A byte that is not part of valid UTF-8 is written as \uFFFD, so the result is always JSON.
  static std::string StringToJsonString(std::string_view value);

  // Splits value at each occurrence of separator: n occurrences give n + 1 items, empty items
  // included. An empty separator never occurs, so it gives value as the only item.
  static TArrayStrings ExplodeStrings(std::string_view separator, std::string_view value);

  // The items joined with separator between neighbours; "" for no items.
  static std::string ImplodeStrings(std::string_view separator, const TArrayStrings& arrayString);

  // The content type for a file name's extension (see the top of this file), looked up with
  // letter case ignored; "application/octet-stream" when it has none or an unknown one.
  static std::string GetFileMIMEType(std::string_view fileName);

  // The non-empty lines of value, each trimmed and passed through QuoteJavascript, in double
  // quotes, joined by ", " (no brackets): "a\n\n b \n" gives "a", "b".
  static std::string GetJavascriptArrayFromMultilineString(std::string_view value);

  // name, "-" and 10 random characters from a-z and 0-9.
  static std::string GetControlRandomSuffix(std::string_view name);

  // length characters, each picked uniformly from charSequence; "" when charSequence is empty.
  static std::string GetRandomString(std::size_t length, std::string_view charSequence);

  // A cache folder path ending in the path delimiter. Its last component is the base name of
  // appFilePath without extension followed by suffix, or tempCache when appFilePath is "". It
  // lies in appFilePath's folder when that folder exists, otherwise in defaultDir.
  static std::string GetCompilerCacheDir(std::string_view appFilePath, std::string_view suffix,
                                         std::string_view tempCache, std::string_view defaultDir);

  // Replaces arguments by the items of url's query (between the first "?" and any "#"), split
  // at "&", each with "+" read as a blank and then percent-decoded as UTF-8. A URL without a
  // query, or with an empty one, gives no items.
  static void GetUrlArguments(std::string_view url, std::vector<std::string>& arguments);

  // Whether subString occurs in text. Without MatchCase, ASCII letters match either case;
  // with WholeWord, the match must not touch a word character (ASCII letter or digit, or any
  // non-ASCII character) on either side. Down only chooses the direction of a search, which
  // does not change whether a match exists. An empty subString never occurs.
  static bool SubStringExists(std::string_view text, std::string_view subString, TSearchOptions searchOptions);

  // number in decimal, zero-padded on the left to at least length digits ("%.*d").
  static std::string AddLeadingZeroes(int number, int length);

  // width and height from the first "<digits>x<digits>" in value; both -1 when there is none
  // or a number does not fit into an int.
  static void StrToResolution(std::string_view value, int& width, int& height);

  // ' -> \x27, then " -> \x22; Unquote reverses it.
  static std::string QuoteJavascript(std::string_view value);
  static std::string UnquoteJavascript(std::string_view value);

  // QuoteJavascript, then : -> \x3a and | -> \x7c; Unquote reverses it.
  static std::string QuoteArguments(std::string_view value);
  static std::string UnquoteArguments(std::string_view value);

  static std::string RepeatString(std::string_view value, std::size_t count);

  // value with its first character upper-cased when it is an ASCII letter.
  static std::string Capitalize(std::string_view value);

  // Prefix tests with letter case ignored: "http://" or "https://", "app/files/", "app/plugins/".
  static bool FilePathIsHttpUrl(std::string_view path);
  static bool FilePathIsAppRelative(std::string_view path);
  static bool FilePathIsPluginRelative(std::string_view path);
};

} // namespace velmora
