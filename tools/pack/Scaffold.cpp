// velmora-pack init: the settings with every key, a page that uses the bridge, and the typings.
#include "Scaffold.h"

#include "PackFiles.h"
#include "Packer.h"
#include "ProjectSettings.h"
#include "TextCodec.h"
#include "TextHelpers.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <string_view>

namespace velmora::pack {
namespace fs = std::filesystem;

namespace {

// The page API's typings, compiled in from resources/ryx.d.ts.
constexpr std::string_view kTypings =
#include "RyxTypings.inc"
  ;

// What each key does, in one line for the settings file.
const std::map<std::string_view, std::string_view>& KeyNotes()
{
  static const std::map<std::string_view, std::string_view> notes = {
    {"ID", "the app's identity: its data folder and single-instance name (required)"},
    {"Name", "the app's display name: the window caption (required)"},
    {"DirName", "the folder of the app's files inside the bundle (required)"},
    {"IndexHtml", "the start page, a path inside that folder"},
    {"Theme", "the look of the window; \"Windows\" is the system's own (ryx.themes.getThemes() lists all)"},
    {"EdgeInstaller", "Windows: offer to install the browser engine when it is missing (0: report and end)"},
    {"InstallFormColor",
     "Windows: colour of the engine installation window (0x00BBGGRR, or 0xFF0000nn a system colour)"},
    {"InstallIndicatorColor", "Windows: its busy indicator, 0 black, 1 white"},
    {"InstallIndicatorType", "Windows: 0 momentum dots, 1 rotating sector, 2 sector ring"},
    {"Password", "a password asked for at every start; empty: none"},
    {"AllowInstances", "1: several instances at once; 0: a second start brings the running one forward"},
    {"AllowDebug", "1: the browser's developer tools"},
    {"AllowContextMenu", "1: the browser's default context menus"},
    {"Top", "window top, in pixels"},
    {"Left", "window left, in pixels"},
    {"Width", "window width, in pixels"},
    {"Height", "window height, in pixels"},
    {"MaxWidth", "largest window width; 0: no limit"},
    {"MaxHeight", "largest window height; 0: no limit"},
    {"MinWidth", "smallest window width; 0: no limit"},
    {"MinHeight", "smallest window height; 0: no limit"},
    {"WindowPosition", "0: centred on the screen; any other value: where the system places new windows"},
    {"WindowStyle", "1: start in full screen"},
    {"WindowBorder", "0 none, 1 single (fixed size), 2 sizeable, 3 dialog, 4 tool window, 5 sizeable tool window"},
    {"WindowState", "0 normal, 1 maximized"},
    {"WindowOrder", "1: stay above other windows"},
    {"DynamicAppTitle", "1: the caption follows the page's title"},
    {"AllowAutomation", "0: never let WebDriver drive the app (it can only when started with --automation)"},
    {"Commands", "the bridge's command groups pages may use, such as files,folders,dialogs; empty: all"},
  };
  return notes;
}

std::string DefaultText(const TSettingKey& Key)
{
  if (Key.Type == TSettingType::String)
    return std::string(Key.TextDefault);
  return std::to_string(Key.NumberDefault);
}

constexpr const char* kIndexHtml = R"(<!doctype html>
<html>
<head>
  <meta charset="utf-8">
  <title>My app</title>
  <style>
    body { font: 15px system-ui, sans-serif; margin: 2em; }
    textarea { width: 100%; height: 8em; }
  </style>
</head>
<body>
  <h1>My app</h1>
  <p id="runtime">Asking the runtime...</p>
  <p><textarea id="note">Hello from my app.</textarea></p>
  <p><button id="save">Save to the documents folder</button> <span id="status"></span></p>
  <script src="main.js"></script>
</body>
</html>
)";

constexpr const char* kMainJs =
  R"(// The page's script. window.ryx is the bridge to the runtime; its types are in ../ryx.d.ts.
/// <reference path="../ryx.d.ts" />
'use strict';

/** @param {string} id */
function element(id) {
  const found = document.getElementById(id);
  if (!found) throw new Error('No element ' + id);
  return found;
}

async function start() {
  const version = await ryx.hello();
  element('runtime').textContent = 'Running in Velmora ' + version;

  element('save').addEventListener('click', async () => {
    const status = element('status');
    const folder = await ryx.folders.getUserDocumentsDir();
    const file = folder + 'my-app-note.txt';
    const text = /** @type {HTMLTextAreaElement} */ (element('note')).value;
    try {
      await ryx.files.writeTextFile({ filePath: file, contents: text });
      status.textContent = 'Saved to ' + file;
    } catch (error) {
      status.textContent = 'Not saved: ' + error;
    }
  });
}

start();
)";

constexpr const char* kJsConfig = R"({
  "compilerOptions": { "checkJs": true, "strict": true, "target": "ES2020", "lib": ["ES2020", "DOM"], "noEmit": true },
  "include": ["ryx.d.ts", "app/**/*.js"]
}
)";

} // namespace

std::string ScaffoldSettings(const std::string& Id, const std::string& Name, const std::string& DirName)
{
  std::string text = "; The app's settings, read by the runtime from the bundle. Every key is listed; those\n"
                     "; commented out (\";\") have the default shown.\n[App]\n";
  for (const TSettingKey* key : AppKeys::All) {
    const std::string name(key->Name);
    const auto note = KeyNotes().find(key->Name);
    if (note != KeyNotes().end())
      text += "; " + std::string(note->second) + "\n";
    if (name == "ID")
      text += "ID=" + Id + "\n";
    else if (name == "Name")
      text += "Name=" + Name + "\n";
    else if (name == "DirName")
      text += "DirName=" + DirName + "\n";
    else
      text += ";" + name + "=" + DefaultText(*key) + "\n";
  }
  return text;
}

std::vector<std::string> WriteScaffold(const std::string& Dir)
{
  const fs::path root = PathFromUtf8(Dir);
  std::error_code error;
  if (fs::exists(root, error)) {
    if (!fs::is_directory(root, error))
      throw TPackError("Not a folder: " + Dir);
    if (!fs::is_empty(root, error))
      throw TPackError("The folder is not empty: " + Dir + " (init writes a new app into an empty or new folder)");
  }
  // The folder's name gives the app its name and ID.
  std::string name = Utf8FromPath(fs::absolute(root, error).lexically_normal().filename());
  if (name.empty())
    name = Utf8FromPath(fs::absolute(root, error).lexically_normal().parent_path().filename());
  std::string idPart;
  for (const char c : text::AsciiLower(name))
    idPart += (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-') ? c : '-';
  const std::string id = "org.example." + (idPart.empty() ? std::string("app") : idPart);
  if (!IsValidAppID(id))
    throw TPackError("Cannot make an app ID from the folder name \"" + name + "\"");

  const std::vector<std::pair<std::string, std::string>> files = {
    {"ryx.ini", ScaffoldSettings(id, name, "app")},
    {"app/index.html", kIndexHtml},
    {"app/main.js", kMainJs},
    {"ryx.d.ts", std::string(kTypings)},
    {"jsconfig.json", kJsConfig},
  };
  std::vector<std::string> written;
  for (const auto& [relative, text] : files) {
    WriteWholeFile(root / PathFromUtf8(relative), text);
    written.push_back(relative);
  }
  return written;
}

} // namespace velmora::pack
