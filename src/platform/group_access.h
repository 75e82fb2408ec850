// Who may use the files the station makes. A station run from a build tree or a folder of
// its own keeps its settings store (the password in clear), journal and lock to its user
// (0600, folders 0700). An installed station shares one machine-wide home among every
// operator login: the package makes /var/lib/vnk-pc root:vnk 2770, and each member of group
// vnk must be able to read and replace what another left there (the settings store is
// replaced by a rename, the journal is written in place, the lock is taken on a file another
// user may have made). So whether files are shared is read from the home folder itself:
// a home that grants its group write access is shared with that group, and for the rest of
// the run the private files give the group what they give their owner, and the umask lets
// the group read and write what else the station makes (vnk.cfg, recordings, exports).
// The setgid bit of such a folder gives every new file and folder the group vnk.
#pragma once

#include <sys/types.h>

#include <string>

namespace platform {

// True when folder is a folder whose group may write in it.
bool FolderSharedWithGroup(const std::string& folder);

// Turns sharing on or off for the process. On: the umask becomes 007 (owner and group
// everything, others nothing, whatever the login's umask gave); off again: the umask it
// replaced comes back.
void ShareFilesWithGroup(bool shared);
bool FilesSharedWithGroup();

// The mode a private file is made with: 0600, shared 0660.
mode_t PrivateFileMode();
// The mode a private folder is made with: 0700, shared 0770.
mode_t PrivateFolderMode();
// The folders above path, from the top down, as the umask allows (the group's too in a
// shared home); one that is already there is left as it is.
void MakeFoldersAbove(const std::string& path);

// The mode an existing private file is brought to: its owner's read and write bits as they
// are (a store made read-only by hand stays so), the same for the group when shared, none
// for the group otherwise and none for others ever.
mode_t PrivateModeFor(mode_t existing);

}  // namespace platform
