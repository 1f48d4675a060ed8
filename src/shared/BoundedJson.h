// JSON parsing for text that comes from pages and bundles: iterative (no recursion on the native
// stack, whatever the depth) and refused beyond kMaxJsonNesting levels of arrays and objects.
#pragma once

#include <rapidjson/document.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// The deepest nesting of arrays and objects in Text, counted outside strings; stops counting at
// Limit + 1. Text that is not JSON still gets a number; the parser judges it afterwards.
int JsonNestingDepth(std::string_view Text, int Limit);

enum class TJsonNumbers { AsValues, AsStrings };

// Parses Text into Document. False (and Document left holding a parse error or null) for text
// that is not one JSON value, or that nests deeper than kMaxJsonNesting.
bool ParseBoundedJson(rapidjson::Document& Document, std::string_view Text, TJsonNumbers Numbers);

// The same, parsing Text where it lies: its strings are unescaped inside it and Document's strings
// point into it, so nothing large is copied. Text must outlive Document and is garbled afterwards.
bool ParseBoundedJsonInPlace(rapidjson::Document& Document, std::string& Text, TJsonNumbers Numbers);
// Spare capacity the in-place parse wants beyond the text (it adds it when missing, by copying).
inline constexpr std::size_t kInPlaceParsePadding = 16;

} // namespace velmora
