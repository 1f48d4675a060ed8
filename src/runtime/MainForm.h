// TMainForm: the app's only top-level window. It holds the browser view and the bridge, takes
// its shape from the settings, follows the page title on request, and keeps the close
// protocol in which the page decides whether the app may close.
#pragma once

#include "BrowserExternalModule.h"
#include "BrowserForm.h"
#include "NativeLayer.h"

#include <memory>
#include <string>

namespace velmora {

class TMainForm {
public:
  // FormCreate: reads the process-wide start-up state (ExeZip, ProjectINI, the app's identity
  // and the command line).
  TMainForm();
  // Frees the bridge, then the browser view.
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  TNativeForm& Form() const { return *FForm; }
  TBrowserForm& BrowserForm() const { return *FBrowserForm; }
  TBrowserExternalModule& BrowserExternalModule() const { return *FBrowserExternalModule; }
  bool CanClose() const { return FCanClose; }

  static constexpr const char* kCloseQueryScript = "ryx.events.onCloseQuery();";

private:
  void FormCreate();
  void FormCloseQuery(bool& CanClose);
  void FormClose();
  void EdgeBrowserDocumentTitleChanged(TCustomEdgeBrowser& Sender, const std::string& ADocumentTitle);
  void BrowserExternalModuleAppCloseRequest(TBrowserExternalModule& Sender);

  bool FCanClose = false;
  std::unique_ptr<TNativeForm> FForm;
  std::unique_ptr<TBrowserExternalModule> FBrowserExternalModule;
  std::unique_ptr<TBrowserForm> FBrowserForm;
};

} // namespace velmora
