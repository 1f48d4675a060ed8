// The engine double's transcript (one JSON object per line, per process) and its count of live objects.
//
// With VELMORA_DOUBLE_DIR set, each line is appended to "<dir>\<pid>.transcript.jsonl" and the file is
// closed again at once, so a test reading it meanwhile sees every complete line. Without the variable
// nothing is written. Writing is serialised, so objects released on another thread may record too.
#pragma once

#include "Json.h"

#include <string>
#include <string_view>

namespace velmora::enginedouble {

// Reads VELMORA_DOUBLE_DIR; called once, on the first call into the loader's exports.
void ConfigureTranscript();
bool TranscriptEnabled();
// "<dir>\<pid>.commands.jsonl", or empty without VELMORA_DOUBLE_DIR.
std::wstring CommandsPath();

// Starts a transcript line: {"event":name,"pid":...,"seq":...}; add members, then Record it.
TJsonObjectWriter Event(std::string_view name);
void Record(const TJsonObjectWriter& line);

// Every kind of object the double hands out, counted while alive.
enum class TObjectKind {
  Environment,
  Controller,
  WebView,
  Settings,
  Request,
  RequestHeaders,
  Response,
  ResponseHeaders,
  HeaderIterator,
  ResourceRequestedArgs,
  NavigationCompletedArgs,
  WebMessageArgs,
  NewWindowArgs,
  PermissionArgs,
  ProcessFailedArgs,
  Count
};

const char* ObjectKindName(TObjectKind kind);
// Counts an object made (+1) or destroyed (-1). The last environment, controller, web view or settings
// object to go is recorded as an "object-freed" line.
void CountObject(TObjectKind kind, int delta);
// {"total":n,"controller":1,...}: the live objects, kinds with none left out.
std::string LiveObjectsJson();
long LiveObjectTotal();

} // namespace velmora::enginedouble
