#include "platform/group_access.h"

#include <sys/stat.h>

#include <cstddef>

namespace platform {

namespace {
struct GroupAccess {
    bool shared = false;
    mode_t savedUmask = 0;
};
GroupAccess g;
}  // namespace

bool FolderSharedWithGroup(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IWGRP) != 0;
}

void ShareFilesWithGroup(bool shared) {
    if (shared == g.shared) return;
    if (shared)
        g.savedUmask = ::umask(S_IRWXO);
    else
        ::umask(g.savedUmask);
    g.shared = shared;
}

bool FilesSharedWithGroup() {
    return g.shared;
}

mode_t PrivateFileMode() {
    return g.shared ? 0660 : 0600;
}

mode_t PrivateFolderMode() {
    return g.shared ? 0770 : 0700;
}

void MakeFoldersAbove(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0777);
}

mode_t PrivateModeFor(mode_t existing) {
    const mode_t owner = existing & (S_IRUSR | S_IWUSR);
    return g.shared ? owner | (owner >> 3) : owner;
}

}  // namespace platform
