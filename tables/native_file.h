#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace passerelle {

// The program's only direct contact with the file system's byte streams.
// Every failure throws FileError with the system's code.

// The whole content of a file, read at once.
std::string ReadWholeFile(const std::filesystem::path& file);

// Replaces `file` by `bytes`, whole or not at all (temporary file in the same
// folder, flushed, then renamed over the target). A read-only target is
// refused as access denied, as it would be on Windows.
void WriteFileWhole(const std::filesystem::path& file, std::string_view bytes);

}  // namespace passerelle
