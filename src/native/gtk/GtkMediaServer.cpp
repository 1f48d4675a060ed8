// The loopback route of the app's media on Linux.
#include "GtkMediaServer.h"

#include "GLibSupport_posix.h"
#include "TextHelpers.h"

#include <gio/gio.h>
#include <sys/random.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <vector>

namespace velmora {

struct TGtkMediaServer::TShared {
  TLookup Lookup; // UI thread only
  std::atomic<bool> Alive{true};
  std::string Secret;
  std::string Host; // "127.0.0.1:<port>", what the Host header of every request must say
};

namespace {

using TShared = TGtkMediaServer::TShared;

// Media players keep a connection or two per element; more wait for a free thread.
constexpr int kMaxThreads = 8;
// A request head larger than this is no media player's.
constexpr size_t kMaxRequestHead = 16 * 1024;
// A connection that neither asks nor reads for this long is closed.
constexpr guint kSocketTimeoutSeconds = 60;
// How long a request waits for the UI thread to look its file up.
constexpr auto kLookupTimeout = std::chrono::seconds(30);
constexpr size_t kChunkBytes = 64 * 1024;

struct TRequest {
  std::string Method;
  std::string Target;
  std::string Host;
  std::string Range;
  std::string Origin;
  bool Close = false;
};

// One lookup handed to the UI thread, and its answer.
struct TLookupCall {
  std::shared_ptr<TShared> Shared;
  std::string Uri;
  std::string Range;
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  std::optional<TWebResourceResponse> Response;
};

gboolean RunLookup(gpointer Data)
{
  const std::shared_ptr<TLookupCall>& Call = *static_cast<std::shared_ptr<TLookupCall>*>(Data);
  std::optional<TWebResourceResponse> Response;
  GuardedCall("the media route's lookup", [&] {
    if (Call->Shared->Alive)
      Response = Call->Shared->Lookup(Call->Uri, Call->Range);
  });
  {
    const std::lock_guard<std::mutex> Lock(Call->Mutex);
    Call->Response = std::move(Response);
    Call->Finished = true;
  }
  Call->Done.notify_all();
  return G_SOURCE_REMOVE;
}

void FreeLookup(gpointer Data) { delete static_cast<std::shared_ptr<TLookupCall>*>(Data); }

// Asks the UI thread for the answer to Uri and waits for it; nothing when the UI thread does not
// answer in time.
std::optional<TWebResourceResponse> LookUp(const std::shared_ptr<TShared>& Shared, std::string Uri, std::string Range)
{
  auto Call = std::make_shared<TLookupCall>();
  Call->Shared = Shared;
  Call->Uri = std::move(Uri);
  Call->Range = std::move(Range);
  g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, RunLookup, new std::shared_ptr<TLookupCall>(Call),
                             FreeLookup);
  std::unique_lock<std::mutex> Lock(Call->Mutex);
  if (!Call->Done.wait_for(Lock, kLookupTimeout, [&] { return Call->Finished; }))
    return std::nullopt;
  return std::move(Call->Response);
}

// Reads up to the blank line that ends a request head; Buffer keeps what follows it. Nothing at
// the end of the connection, on an error, or when the head grows past the limit.
std::optional<std::string> ReadHead(GInputStream* In, std::string& Buffer)
{
  for (;;) {
    const size_t End = Buffer.find("\r\n\r\n");
    if (End != std::string::npos) {
      std::string Head = Buffer.substr(0, End);
      Buffer.erase(0, End + 4);
      return Head;
    }
    if (Buffer.size() > kMaxRequestHead)
      return std::nullopt;
    char Chunk[4096];
    const gssize Got = g_input_stream_read(In, Chunk, sizeof Chunk, nullptr, nullptr);
    if (Got <= 0)
      return std::nullopt;
    Buffer.append(Chunk, static_cast<size_t>(Got));
  }
}

std::optional<TRequest> ParseRequest(std::string_view Head)
{
  TRequest Request;
  size_t LineEnd = Head.find("\r\n");
  const std::string_view First = Head.substr(0, LineEnd);
  const size_t Space1 = First.find(' ');
  const size_t Space2 = Space1 == std::string_view::npos ? Space1 : First.find(' ', Space1 + 1);
  if (Space2 == std::string_view::npos)
    return std::nullopt;
  Request.Method = std::string(First.substr(0, Space1));
  Request.Target = std::string(First.substr(Space1 + 1, Space2 - Space1 - 1));
  const std::string_view Version = First.substr(Space2 + 1);
  if (!text::StartsWithIgnoringCase(Version, "HTTP/1."))
    return std::nullopt;
  Request.Close = Version == "HTTP/1.0";
  while (LineEnd != std::string_view::npos) {
    const size_t Start = LineEnd + 2;
    LineEnd = Head.find("\r\n", Start);
    const std::string_view Line = Head.substr(Start, LineEnd == std::string_view::npos ? Head.npos : LineEnd - Start);
    const size_t Colon = Line.find(':');
    if (Colon == std::string_view::npos)
      continue;
    const std::string Name = text::AsciiLower(text::TrimBlanks(Line.substr(0, Colon)));
    const std::string Value(text::TrimBlanks(Line.substr(Colon + 1)));
    if (Name == "host")
      Request.Host = Value;
    else if (Name == "range")
      Request.Range = Value;
    else if (Name == "origin")
      Request.Origin = Value;
    else if (Name == "connection" && text::AsciiLower(Value) == "close")
      Request.Close = true;
    else if (Name == "connection" && text::AsciiLower(Value) == "keep-alive")
      Request.Close = false;
  }
  return Request;
}

bool WriteAll(GOutputStream* Out, std::string_view Bytes)
{
  return g_output_stream_write_all(Out, Bytes.data(), Bytes.size(), nullptr, nullptr, nullptr) != FALSE;
}

// A short answer without a body; the connection ends after it.
bool Refuse(GOutputStream* Out, const char* Status)
{
  WriteAll(Out, std::string("HTTP/1.1 ") + Status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  return false;
}

// Answers one request; false when the connection is to end.
bool Serve(const std::shared_ptr<TShared>& Shared, GOutputStream* Out, const TRequest& Request)
{
  if (Request.Host != Shared->Host)
    return Refuse(Out, "403 Forbidden");
  const bool Head = Request.Method == "HEAD";
  if (!Head && Request.Method != "GET")
    return Refuse(Out, "405 Method Not Allowed");
  const std::string Prefix = "/" + Shared->Secret + "/";
  if (!Request.Target.starts_with(Prefix))
    return Refuse(Out, "404 Not Found");

  const std::optional<TWebResourceResponse> Response =
    LookUp(Shared, "file:///" + Request.Target.substr(Prefix.size()), Request.Range);
  if (!Response)
    return Refuse(Out, "404 Not Found");

  const TWebResourceBodyPtr& Body = Response->Body;
  const int64_t Length = Body ? Body->Length() : 0;
  const bool Close = Request.Close || Length < 0;
  std::string Answer = "HTTP/1.1 " + std::to_string(Response->StatusCode) + " " + Response->ReasonPhrase + "\r\n";
  if (!Response->Headers.empty())
    Answer += Response->Headers + "\r\n";
  if (Length >= 0)
    Answer += "Content-Length: " + std::to_string(Length) + "\r\n";
  Answer += "Accept-Ranges: bytes\r\nCache-Control: no-store\r\n";
  // A media element with a crossorigin attribute asks with the app's origin.
  if (Request.Origin == "velmora://app")
    Answer += "Access-Control-Allow-Origin: velmora://app\r\n";
  Answer += Close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
  if (!WriteAll(Out, Answer))
    return false;
  if (Head || !Body)
    return !Close;

  std::vector<uint8_t> Buffer(kChunkBytes);
  int64_t Sent = 0;
  for (;;) {
    const auto Got = Body->Read(Buffer);
    if (!Got)
      return false; // the length was announced: only ending the connection tells the player
    if (Got.Value() == 0)
      break;
    if (!WriteAll(Out, std::string_view(reinterpret_cast<const char*>(Buffer.data()), Got.Value())))
      return false;
    Sent += static_cast<int64_t>(Got.Value());
  }
  return !Close && Sent == Length;
}

// One connection, in a worker thread: requests one after another until either side ends it.
gboolean OnConnection(GThreadedSocketService*, GSocketConnection* Connection, GObject*, gpointer Data)
{
  const std::shared_ptr<TShared> Shared = *static_cast<std::shared_ptr<TShared>*>(Data);
  g_socket_set_timeout(g_socket_connection_get_socket(Connection), kSocketTimeoutSeconds);
  GInputStream* In = g_io_stream_get_input_stream(G_IO_STREAM(Connection));
  GOutputStream* Out = g_io_stream_get_output_stream(G_IO_STREAM(Connection));
  std::string Buffer;
  while (Shared->Alive) {
    const std::optional<std::string> Head = ReadHead(In, Buffer);
    if (!Head)
      break;
    const std::optional<TRequest> Request = ParseRequest(*Head);
    if (!Request) {
      Refuse(Out, "400 Bad Request");
      break;
    }
    if (!Serve(Shared, Out, *Request))
      break;
  }
  g_io_stream_close(G_IO_STREAM(Connection), nullptr, nullptr);
  return TRUE;
}

void FreeShared(gpointer Data, GClosure*) { delete static_cast<std::shared_ptr<TShared>*>(Data); }

// 128 random bits as hex digits; empty when the system has no randomness to give.
std::string MakeSecret()
{
  unsigned char Random[16];
  if (getrandom(Random, sizeof Random, 0) != static_cast<ssize_t>(sizeof Random))
    return {};
  std::string Secret;
  for (const unsigned char Byte : Random) {
    char Digits[3];
    std::snprintf(Digits, sizeof Digits, "%02x", Byte);
    Secret += Digits;
  }
  return Secret;
}

} // namespace

TGtkMediaServer::TGtkMediaServer(TLookup Lookup) : FShared(std::make_shared<TShared>())
{
  FShared->Lookup = std::move(Lookup);
  FShared->Secret = MakeSecret();
  if (FShared->Secret.empty())
    return;
  FService = g_threaded_socket_service_new(kMaxThreads);
  GInetAddress* Loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  GSocketAddress* Address = g_inet_socket_address_new(Loopback, 0);
  GSocketAddress* Bound = nullptr;
  TGError Error;
  const bool Listening = g_socket_listener_add_address(G_SOCKET_LISTENER(FService), Address, G_SOCKET_TYPE_STREAM,
                                                       G_SOCKET_PROTOCOL_TCP, nullptr, &Bound, Error.Out()) != FALSE;
  g_object_unref(Address);
  g_object_unref(Loopback);
  if (!Listening || !Bound) {
    g_printerr("velmora: the media route could not start: %s\n", Error.Message().c_str());
    g_object_unref(FService);
    FService = nullptr;
    return;
  }
  const guint16 Port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(Bound));
  g_object_unref(Bound);
  FShared->Host = "127.0.0.1:" + std::to_string(Port);
  g_signal_connect_data(FService, "run", G_CALLBACK(GuardedCallback<&OnConnection>),
                        new std::shared_ptr<TShared>(FShared), FreeShared, GConnectFlags(0));
  g_socket_service_start(FService);
  FBaseUri = "http://" + FShared->Host + "/" + FShared->Secret + "/";
}

TGtkMediaServer::~TGtkMediaServer()
{
  // Connections still being served end at their next request; lookups already asked for find
  // the server gone.
  FShared->Alive = false;
  if (FService) {
    g_socket_service_stop(FService);
    g_socket_listener_close(G_SOCKET_LISTENER(FService));
    g_object_unref(FService);
  }
}

} // namespace velmora
