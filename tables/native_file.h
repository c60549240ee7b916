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
// folder, flushed, then renamed over the target). A read-only target, or a
// folder that FolderRefusesWriting, is refused as access denied.
void WriteFileWhole(const std::filesystem::path& file, std::string_view bytes);

// Whether an existing folder's permission bits let nobody write into it.
// Such a folder is left alone even by an account the system would let
// through (root), so that a locked output folder keeps its files whoever
// runs the program. Always false on Windows.
bool FolderRefusesWriting(const std::filesystem::path& folder);

}  // namespace passerelle
