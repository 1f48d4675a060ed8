// The rules that turn the paths pages give into the paths the host uses.
#pragma once

#include "Result.h"

#include <functional>
#include <string>
#include <string_view>

namespace velmora {

// Resolves a path argument of the file and folder commands against the program folder
// (ending in Separator). With "\" (Windows): absolute when it has at least two characters and
// its second is ":" or it begins with "\\"; used unchanged then, slashes included. Otherwise
// every "/" becomes "\" and the path is appended to the program folder. With "/" (Linux):
// absolute when it begins with "/"; otherwise every "\" becomes "/" and the path is appended.
// Nothing else is normalised: ".." may leave the program folder.
std::string ResolveAppRelativePath(const std::string& Path, const std::string& ProgramFolder, char Separator);

// The bytes of a text file as pages write it: a UTF-8 byte-order mark, then every line of Text
// followed by CR LF. Lines end at CR LF, lone CR or lone LF; a line break at the very end adds
// no empty line; a NUL character ends the text.
std::string TextFileBytes(const std::string& Text);
// The same bytes, handed to Sink in pieces of about 256 KiB; the first failure of Sink ends it.
TStatus WriteTextFileBytes(std::string_view Text, const std::function<TStatus(std::string_view)>& Sink);

// Standard base64 ("=" padding; white space between groups ignored). Any other character, or
// data that cannot be complete, gives nullopt-like failure: false with Bytes untouched.
bool DecodeBase64(const std::string& Text, std::string& Bytes);
// Standard base64 with "=" padding, no line breaks.
std::string EncodeBase64(std::string_view Bytes);

// The text of a file's bytes as pages read it: a UTF-8 byte-order mark removed, line ends kept
// as written. An error when the bytes are not UTF-8.
TResult<std::string> TextOfFileBytes(std::string Bytes);

} // namespace velmora
