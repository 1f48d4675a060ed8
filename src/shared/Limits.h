// Ceilings on what a bundle or a page can make the runtime hold or do. Input past a ceiling is
// treated as malformed input of its kind (no reply, an error reply, or a missing entry), so
// nothing a page or a bundle sends can exhaust memory, the native stack or the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

inline constexpr std::size_t kMiB = std::size_t{1024} * 1024;

// One web message from a page (its JSON text). Larger messages are dropped without a reply.
inline constexpr std::size_t kMaxBridgeMessageBytes = 256 * kMiB;
// Arrays and objects inside one another in any JSON text the runtime parses (bridge messages,
// menu items). Deeper text is malformed.
inline constexpr int kMaxJsonNesting = 128;

// The main menu: levels of submenus (the top-level items are level 1) and items in all.
inline constexpr int kMaxMenuDepth = 16;
inline constexpr std::size_t kMaxMenuItems = 2000;
// Images the menu holds at once, the encoded bytes of one image, and the decoded pixels of all
// images together (RGBA bytes). An image past these counts as one the decoder cannot read.
inline constexpr std::size_t kMaxMenuImages = 512;
inline constexpr std::size_t kMaxMenuImageDataBytes = 16 * kMiB;
inline constexpr std::size_t kMaxMenuImagePixelBytes = 64 * kMiB;

// What one archive entry may inflate to, whatever it declares; reading stops with an error there.
inline constexpr std::uint64_t kMaxArchiveEntryBytes = 1024 * kMiB;
// Memory reserved up front for an entry read whole: never more than this, whatever size the
// entry declares; the buffer grows with the bytes really produced.
inline constexpr std::size_t kMaxEntryReserveBytes = 16 * kMiB;
// Large encrypted entries read to their end are kept decrypted, up to this much in all (the
// entry used longest ago goes first), so the ranges a media element seeks to are answered from
// memory; entries below kMinDecryptedCacheEntryBytes are cheap to decrypt again.
inline constexpr std::uint64_t kDecryptedCacheBytes = 64 * kMiB;
inline constexpr std::uint64_t kMinDecryptedCacheEntryBytes = 256 * 1024;
// The settings file and the app's extra page script; larger ones count as missing.
inline constexpr std::size_t kMaxSettingsBytes = 1 * kMiB;
inline constexpr std::size_t kMaxExtraScriptBytes = 16 * kMiB;

// The largest file files.readTextFile and files.readBase64 read: the reply holds it whole.
inline constexpr std::uint64_t kMaxReadFileBytes = 64 * kMiB;
// The most entries folders.list answers with.
inline constexpr std::size_t kMaxFolderListEntries = 100000;

// What a later start may hand to the running instance: its arguments, joined.
inline constexpr std::size_t kMaxInstanceArgsBytes = 1 * kMiB;

// What shell.command keeps of a command's output. Past this the command is ended and the call
// gets an error reply.
inline constexpr std::size_t kMaxCommandOutputBytes = 32 * kMiB;

} // namespace velmora
