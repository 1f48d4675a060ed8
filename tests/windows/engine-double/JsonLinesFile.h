// Reading back the JSON Lines files the test doubles write, for their smoke tests.
#pragma once

#include "Json.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace velmora::enginedouble {

// Every line of the file at Path, each checked to be one JSON object; a missing file has none. A
// writer still at work may share the file, so it is opened for reading beside writers.
inline std::vector<TJsonValue> ReadJsonLines(const std::wstring& Path)
{
  std::string text;
  HANDLE file =
    CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
      text.append(buffer, read);
    CloseHandle(file);
  }
  std::vector<TJsonValue> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string error;
    auto line = ParseJson(std::string_view(text).substr(start, end - start), &error);
    EXPECT_TRUE(line.has_value()) << error << " in: " << text.substr(start, end - start);
    if (!line)
      continue;
    EXPECT_TRUE(line->IsObject()) << text.substr(start, end - start);
    lines.push_back(std::move(*line));
  }
  EXPECT_EQ(start, text.size()) << "the file ends with a partial line";
  return lines;
}

} // namespace velmora::enginedouble
