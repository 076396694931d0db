// File services that differ between Windows and the native build. Paths are
// UTF-8; the Windows build passes them to the wide file functions.
#pragma once

#include "platform/binary_file.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrova {

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// A file's new contents, written so that an interruption at any moment
// leaves either the old file or the new one: the bytes go to a sibling file
// (the file + ".new" unless another is named), which Commit flushes to the disk and then puts in the
// file's place in one step. A replacement that is not committed (or fails)
// leaves the old file as it was and removes the sibling.
//
// The user's protection is kept: a read-only file is not replaced (every
// call fails and nothing is written), and a symbolic link is followed, so
// the file it points to receives the new contents and the link stays.
class FileReplacement {
public:
    explicit FileReplacement(const std::string& path, const std::string& sibling = {});

    // Whether the file (a link's target) is protected against writing: a
    // replacement of it is refused, as the user asked.
    static bool Protected(const std::string& path) { return IsReadOnly(FollowLinks(path)); }
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // False once anything failed; every later call then fails too.
    [[nodiscard]] bool Write(std::string_view bytes);
    [[nodiscard]] bool Write(std::span<const std::uint8_t> bytes);
    [[nodiscard]] bool Commit();

private:
    // What the platform decides.
    static std::string FollowLinks(const std::string& path);
    static bool IsReadOnly(const std::string& path);
    // The one-step replacing rename, made durable.
    static bool PutInPlace(const std::string& from, const std::string& to);
    static void Remove(const std::string& path);

    std::string path_;
    std::string temp_;
    BinaryFile file_;
    std::uint64_t written_ = 0;
    bool ok_ = false;
    bool created_ = false;
    bool refused_ = false;
    bool done_ = false;
};

// The whole of a file's contents replaced through a FileReplacement.
[[nodiscard]] bool ReplaceFileContents(const std::string& path, std::string_view bytes);

// Renames a file (on its volume) to a name that must not exist yet; false
// when it exists or the rename fails (the file stays where it was).
[[nodiscard]] bool MoveFileNoReplace(const std::string& from, const std::string& to);

// Deletes a file; true when it is gone (or was not there).
[[nodiscard]] bool RemoveFileIfThere(const std::string& path);

// The path of the running executable.
std::string ExecutablePath();

// The path with its last three characters replaced by ext ("ini", "tmr"):
// how Kestrova finds the files that sit beside the executable.
std::string ReplaceLastThree(std::string_view path, std::string_view ext);

// The folder part of a path, its last separator included ("C:\\Tools\\"); empty
// for a bare name. The files beside the executable are found through it.
std::string DirectoryOf(std::string_view path);

// Whether a path starts from a drive ("C:...") or a separator ("\\...",
// "/..."): such a path is never taken from another folder.
bool IsRootedPath(std::string_view path);

// Whether path names a directory that is there now.
bool IsDirectory(const std::string& path);

// The process's current directory, or empty when it cannot be read.
std::string CurrentDirectory();
// Makes path the current directory; false when it cannot.
[[nodiscard]] bool ChangeCurrentDirectory(const std::string& path);

// Makes directory the current one; one that refuses leaves the start folder
// current. Kestrova names its files by full paths: the current directory
// only gives the system's dialogs their start, so nothing fails with it.
void EnterDirectory(const std::string& directory);

// The folder Kestrova was started in: the current directory at the first
// call, which the program makes before anything can change it.
const std::string& StartFolder();

}  // namespace kestrova
