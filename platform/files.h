#pragma once
// Whole-file helpers over byte strings. Failures are values, never exceptions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The whole content of a regular file, or nothing when it can't be opened or read.
std::optional<std::string> readWholeFile(const std::string& path);

// Size of a regular file in bytes; -1 when the path is missing or is not a regular file (a folder, say).
std::int64_t regularFileSize(const std::string& path);

bool isDirectory(const std::string& path);

// Replaces the file at path with exactly these bytes: they are written to a sibling first, flushed to disk and
// renamed over the old file, so a crash or a full disk leaves either the old file or the new one, never a short
// one. Returns false (and leaves the old file as it was) when any step fails.
enum class FileAccess { Normal, OwnerOnly };
// OwnerOnly files (they hold passwords) are readable and writable by their owner alone (mode 0600).
bool writeFileAtomically(const std::string& path, std::string_view bytes, FileAccess access = FileAccess::Normal);

} // namespace platform
