// TGtkMediaServer: the route by which the app's audio and video reach WebKitGTK's media player,
// which loads http(s), file, data and blob addresses only, never the app scheme.
//
// It is an HTTP/1.1 server on the loopback interface, on a port the system picks, that answers
// only paths under a secret made anew for each run: "http://127.0.0.1:<port>/<secret>/<path>" is
// answered as "file:///<path>" would be, by the same handler on the UI thread, byte ranges
// included, so media can seek. Other programs on the machine cannot guess the secret, and pages of
// other sites cannot reach the server through DNS names (the Host header must be the loopback
// address). Connections are served by GIO's worker threads; bodies are read there, so a large file
// never holds up the window and is never held whole.
#pragma once

#include "EdgeEx.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

typedef struct _GSocketService GSocketService;

namespace velmora {

class TGtkMediaServer {
public:
  // Answers "file:///<path>" with the "Range" header given ("" for none), on the UI thread;
  // nothing when there is no such file or the request is refused.
  using TLookup = std::function<std::optional<TWebResourceResponse>(const std::string& Uri, const std::string& Range)>;

  explicit TGtkMediaServer(TLookup Lookup);
  ~TGtkMediaServer();
  TGtkMediaServer(const TGtkMediaServer&) = delete;
  TGtkMediaServer& operator=(const TGtkMediaServer&) = delete;

  // "http://127.0.0.1:<port>/<secret>/", or empty when the server could not start.
  const std::string& BaseUri() const { return FBaseUri; }

  struct TShared;

private:
  std::shared_ptr<TShared> FShared;
  GSocketService* FService = nullptr;
  std::string FBaseUri;
};

} // namespace velmora
