#include "platform/files.h"

#include <utility>

namespace kestrova {

FileReplacement::FileReplacement(const std::string& path, const std::string& sibling)
    : path_(FollowLinks(path)), temp_(sibling.empty() ? path_ + ".new" : sibling) {
    refused_ = IsReadOnly(path_);
    created_ = !refused_ && file_.Create(temp_);
    ok_ = created_;
}

FileReplacement::~FileReplacement() {
    if (done_ || !created_) return;
    static_cast<void>(file_.Close());  // abandoned: the new file goes
    Remove(temp_);
}

bool FileReplacement::Write(std::span<const std::uint8_t> bytes) {
    ok_ = ok_ && !done_ && file_.WriteAt(written_, bytes);
    written_ += bytes.size();
    return ok_;
}

bool FileReplacement::Write(std::string_view bytes) {
    return Write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

bool FileReplacement::Commit() {
    if (done_) return false;
    done_ = true;
    ok_ = ok_ && file_.Sync();
    ok_ = file_.Close() && ok_;
    ok_ = ok_ && PutInPlace(temp_, path_);
    if (!ok_ && created_) Remove(temp_);
    return ok_;
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
    FileReplacement replacement(path);
    return replacement.Write(bytes) && replacement.Commit();
}

std::string DirectoryOf(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool IsRootedPath(std::string_view path) {
    if (!path.empty() && (path.front() == '\\' || path.front() == '/')) return true;
    const bool letter = path.size() >= 2 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return letter && path[1] == ':';
}

const std::string& StartFolder() {
    static const std::string folder = CurrentDirectory();
    return folder;
}

void EnterDirectory(const std::string& directory) {
    // Kestrova names its files by full paths: the current directory only
    // sets where the file dialogs open, so a folder that cannot be entered
    // leaves it where it was.
    if (!ChangeCurrentDirectory(directory)) static_cast<void>(ChangeCurrentDirectory(StartFolder()));
}

std::string ReplaceLastThree(std::string_view path, std::string_view ext) {
    std::string out(path.substr(0, path.size() >= 3 ? path.size() - 3 : 0));
    out += ext;
    return out;
}

}  // namespace kestrova
