// Linux implementation of the single-instance name: advisory flock() locks on files in the user's
// runtime folder, and the hand-over of a later start's arguments through a Unix socket beside them.
#include "SysUtils.h"
#include "SysUtils_posix.h"

#include "Limits.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

namespace velmora {

using namespace posix;

namespace {

// Characters that may stand for themselves in a lock file's name; everything else is percent-encoded,
// so two different names never share a file.
std::string EncodeFileNamePart(std::string_view name)
{
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || c == '.' ||
        c == '_' || c == '-') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4U];
      encoded += kHex[byte & 0x0FU];
    }
  }
  return encoded;
}

// Where the files of the single-instance name live, and how their names start. The user's runtime
// folder is private to the user and emptied at logout; the temporary folder is shared, so the user
// id goes into the name there as well.
std::string InstanceFilesPrefix()
{
  std::string folder = EnvValue("XDG_RUNTIME_DIR");
  if (folder.empty() || folder.front() != '/')
    folder = TSysUtils::GetTempDirPath();
  return WithSeparator(folder) + "velmora-" + std::to_string(getuid()) + "-";
}

// Where the lock files of a named object live, without their extension.
std::string NamedMutexBase(const std::string& Name) { return InstanceFilesPrefix() + EncodeFileNamePart(Name); }

// O_NOFOLLOW: in a shared folder another user could have planted a link by that name.
int OpenLockFile(const std::string& path)
{
  return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// The hand-over socket: beside the lock files, named by a hash of the name, since a socket's path
// must fit in 108 bytes.
std::string InstanceSocketPath(const std::string& Name)
{
  uint64_t hash = 14695981039346656037ULL; // FNV-1a
  for (const char c : Name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (int shift = 60; shift >= 0; shift -= 4)
    text += kHex[(hash >> shift) & 0xFU];
  return InstanceFilesPrefix() + text + ".sock";
}

bool SocketAddressOf(const std::string& Path, sockaddr_un& Address)
{
  std::memset(&Address, 0, sizeof Address);
  Address.sun_family = AF_UNIX;
  if (Path.size() >= sizeof Address.sun_path)
    return false;
  std::memcpy(Address.sun_path, Path.c_str(), Path.size() + 1);
  return true;
}

void SetTimeouts(int Fd, int Seconds)
{
  timeval limit{};
  limit.tv_sec = Seconds;
  setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(Fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// One later start: from the same user only, at most kMaxInstanceArgsBytes, arguments ended by NUL.
void TakeInstanceArgs(int Connection, const std::function<void(std::vector<std::string>)>& Received)
{
  const TFd connection(Connection);
  ucred peer{};
  socklen_t length = sizeof peer;
  if (getsockopt(connection.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != getuid())
    return;
  SetTimeouts(connection.Get(), 3);
  std::string message;
  char buffer[16384];
  for (;;) {
    const ssize_t got = read(connection.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      break;
    message.append(buffer, static_cast<size_t>(got));
    if (message.size() > kMaxInstanceArgsBytes)
      return;
  }
  if (!message.empty() && message.back() != '\0')
    return; // cut off: a start that died while sending
  std::vector<std::string> args;
  for (size_t start = 0; start < message.size();) {
    const size_t end = message.find('\0', start);
    args.push_back(message.substr(start, end - start));
    start = end + 1;
  }
  const char ack = 'k';
  if (write(connection.Get(), &ack, 1) == 1)
    Received(std::move(args));
}

} // namespace

bool TSysUtils::ListenForInstanceArgs(const std::string& Name,
                                      std::function<void(std::vector<std::string> Args)> Received)
{
  const std::string path = InstanceSocketPath(Name);
  sockaddr_un address{};
  if (!SocketAddressOf(path, address)) {
    RecordErrno(ENAMETOOLONG);
    return false;
  }
  TFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.Valid()) {
    RecordErrno(errno);
    return false;
  }
  // The caller owns the single-instance name, so a socket left here is a dead instance's.
  unlink(path.c_str());
  // Only this user may connect: the socket is made with no rights for others.
  const mode_t saved = umask(0077);
  const int bound = bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  umask(saved);
  if (bound != 0 || listen(listener.Get(), 8) != 0) {
    RecordErrno(errno);
    return false;
  }
  const int fd = listener.Get();
  listener.Release();
  std::thread([fd, received = std::move(Received)] {
    for (;;) {
      const int connection = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) {
        if (errno == EINTR || errno == ECONNABORTED)
          continue;
        break;
      }
      TakeInstanceArgs(connection, received);
    }
    close(fd);
  }).detach();
  return true;
}

bool TSysUtils::SendInstanceArgs(const std::string& Name, const std::vector<std::string>& Args)
{
  sockaddr_un address{};
  if (!SocketAddressOf(InstanceSocketPath(Name), address))
    return false;
  std::string message;
  for (const std::string& arg : Args) {
    message += arg.substr(0, arg.find('\0'));
    message += '\0';
  }
  if (message.size() > kMaxInstanceArgsBytes)
    return false;
  // The running instance may be starting still: its socket comes a moment after its name.
  for (int attempt = 0; attempt < 30; ++attempt) {
    const TFd connection(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!connection.Valid())
      return false;
    if (connect(connection.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    SetTimeouts(connection.Get(), 3);
    size_t sent = 0;
    while (sent < message.size()) {
      const ssize_t put = send(connection.Get(), message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
      if (put < 0 && errno == EINTR)
        continue;
      if (put <= 0)
        return false;
      sent += static_cast<size_t>(put);
    }
    shutdown(connection.Get(), SHUT_WR);
    char ack = 0;
    return read(connection.Get(), &ack, 1) == 1 && ack == 'k';
  }
  return false;
}

TNamedMutexResult TSysUtils::CreateNamedMutex(const std::string& Name)
{
  const std::string base = NamedMutexBase(Name);

  // Like a Windows mutex, the name exists as long as any process holds it, so every caller becomes
  // a holder: each keeps a shared lock on the ".lock" file until it exits, and a caller is the
  // first when it can lock that file exclusively. The ".gate" file is held exclusively around that
  // test, so no second caller can slip in while the first turns its exclusive lock into a shared one
  // (flock does not convert atomically).
  const TFd gate(OpenLockFile(base + ".gate"));
  TFd holder(OpenLockFile(base + ".lock"));
  if (!gate.Valid() || !holder.Valid() || flock(gate.Get(), LOCK_EX) != 0) {
    RecordErrno(errno);
    return TNamedMutexResult::Failed;
  }
  TNamedMutexResult result = TNamedMutexResult::Created;
  if (flock(holder.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) {
      RecordErrno(errno);
      return TNamedMutexResult::Failed;
    }
    RecordErrno(EEXIST);
    result = TNamedMutexResult::AlreadyExists;
  }
  // Only holders' shared locks can stand against this one, so it is granted at once.
  if (flock(holder.Get(), LOCK_SH) != 0) {
    RecordErrno(errno);
    return TNamedMutexResult::Failed;
  }
  // The owner also locks the ".owner" file exclusively, which WatchNamedMutexOwner waits on.
  if (result == TNamedMutexResult::Created) {
    // A watcher holds its shared lock only for an instant, so waiting for this one is short.
    TFd owner(OpenLockFile(base + ".owner"));
    if (owner.Valid() && flock(owner.Get(), LOCK_EX) == 0)
      owner.Release();
  }
  // The descriptors stay open on purpose: their locks last as long as they do, that is until this
  // process exits. The gate closes, and unlocks, on return.
  holder.Release();
  return result;
}

void TSysUtils::WatchNamedMutexOwner(const std::string& Name, std::function<void()> OnEnded)
{
  std::thread([path = NamedMutexBase(Name) + ".owner", OnEnded = std::move(OnEnded)] {
    // A shared lock is granted once the owner's exclusive one has gone with its process. It is let
    // go at once, so it never stands in a later owner's way.
    // Without the file to wait on, nothing is known of the owner, and nothing is reported.
    const TFd owner(OpenLockFile(path));
    if (!owner.Valid())
      return;
    int locked = -1;
    while ((locked = flock(owner.Get(), LOCK_SH)) != 0 && errno == EINTR) {
    }
    if (locked == 0)
      OnEnded();
  }).detach();
}

} // namespace velmora
