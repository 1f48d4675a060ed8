// Linux implementation of the single-instance name: advisory flock() locks on files in the user's
// runtime folder.
#include "SysUtils.h"
#include "SysUtils_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
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

// Where the lock files of a named object live, without their extension. The user's runtime folder
// is private to the user and emptied at logout; the temporary folder is shared, so the user id goes
// into the name there as well.
std::string NamedMutexBase(const std::string& Name)
{
  std::string folder = EnvValue("XDG_RUNTIME_DIR");
  if (folder.empty() || folder.front() != '/')
    folder = TSysUtils::GetTempDirPath();
  return WithSeparator(folder) + "velmora-" + std::to_string(getuid()) + "-" + EncodeFileNamePart(Name);
}

// O_NOFOLLOW: in a shared folder another user could have planted a link by that name.
int OpenLockFile(const std::string& path)
{
  return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

} // namespace

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
