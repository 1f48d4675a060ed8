// velmora-pack init: a small working app to start from.
#pragma once

#include <string>
#include <vector>

namespace velmora::pack {

// The settings text of a new app: ID, Name and DirName set, every other key of the runtime
// present as a comment that gives its default and what it does.
std::string ScaffoldSettings(const std::string& Id, const std::string& Name, const std::string& DirName);

// Writes a new app into Dir (made when missing; refused when it holds anything): ryx.ini, the app
// folder "app" with a page that uses the bridge, the typings ryx.d.ts and a jsconfig.json that
// makes editors check the page's script against them. Returns the files written, relative to Dir.
// Throws TPackError.
std::vector<std::string> WriteScaffold(const std::string& Dir);

} // namespace velmora::pack
