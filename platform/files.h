// File services that differ between Windows and the native build. Paths are
// UTF-8; the Windows build passes them to the wide file functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file's contents so that an interruption at any moment leaves
// either the old file or the new one: the bytes go to a sibling file first,
// are flushed to the disk, and the sibling then takes the file's place in one
// step. Returns false (and leaves the old file) when any step fails.
bool ReplaceFileContents(const std::string& path, std::string_view bytes);

// The path of the running executable.
std::string ExecutablePath();

// The path with its last three characters replaced by ext ("ini", "tmr"):
// how Kestrova finds the files that sit beside the executable.
std::string ReplaceLastThree(std::string_view path, std::string_view ext);

}  // namespace kestrova
