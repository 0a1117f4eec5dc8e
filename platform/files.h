#pragma once
// Whole-file helpers over byte strings. Failures are values, never exceptions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The whole content of a regular file, or nothing when it can't be opened or read.
std::optional<std::string> readWholeFile(const std::string& path);

// At most maxBytes from the start of a regular file; nothing for anything else (a FIFO, a device, a folder), which
// is never opened in a way that could block.
std::optional<std::string> readFileStart(const std::string& path, size_t maxBytes);

// Whether the file system takes this as (part of) a file name: no "/", which would reach into another folder, and
// no NUL or other control byte below 32. Every file named by the user or by a page goes through it before a save.
bool isAcceptableFileName(std::string_view name);

// Size of a regular file in bytes; -1 when the path is missing or is not a regular file (a folder, say).
std::int64_t regularFileSize(const std::string& path);

bool isDirectory(const std::string& path);

// Makes the folder and every missing folder above it with the given mode (the ones there already stay as they
// are). True when the folder is there at the end.
bool makeFolders(const std::string& folder, unsigned mode);

// Replaces the file at path with exactly these bytes: they are written to a sibling first, flushed to disk and
// renamed over the old file, so a crash or a full disk leaves either the old file or the new one, never a short
// one. A symbolic link is written through to its target (the link stays) and the file keeps its permissions.
// Returns false (and leaves the old file as it was) when any step fails, and when the file is read-only or is not
// a regular file; errno then says why.
enum class FileAccess { Normal, OwnerOnly };
// OwnerOnly files (they hold passwords) are readable and writable by their owner alone (mode 0600).
bool writeFileAtomically(const std::string& path, std::string_view bytes, FileAccess access = FileAccess::Normal);

// The sibling writeFileAtomically writes first: path + ".new-" + the process id.
std::string atomicSibling(const std::string& path, long processId);
// Removes from folder (not below it) the siblings that writes killed half-way left behind, each up to a whole
// file's size; a sibling of a process that still runs may be a write going on and stays. With ofFile, only the
// siblings of that file name (in a folder other programs share). Returns how many went.
int removeLeftoverSiblings(const std::string& folder, std::string_view ofFile = {});

} // namespace platform
