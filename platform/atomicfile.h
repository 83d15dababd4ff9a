#pragma once
// Replacing a file as a whole: every file the program writes goes through
// here, so a save either puts the complete new file in place or leaves the
// earlier one exactly as it was.
//
// The bytes go to a temporary file beside the target (its name short enough
// for the file system even when the target's own name is at the limit), are
// synced to the device, and the temporary is renamed over the target; then
// the folder is synced so that the rename itself survives a crash. A
// symbolic link is followed: the link stays and the file it leads to is
// replaced. On any failure the temporary is removed and EStreamError names
// the file with the system's reason in words:
//   Cannot create file "<name>". <reason>   (no temporary file could be made)
//   Cannot write file "<name>". <reason>    (any later step)
//
// Only a regular file is replaced. A folder, a named pipe, a device or a
// socket at the target's name (or where its link leads) is refused before
// anything is written.
//
// The new file keeps the earlier one's permissions, owner and group. Where
// the saver may not give it the earlier owner (only root may) the save still
// succeeds, and a notice says whose file it now is (see setSaveNoticeHandler).
//
// A save killed before its rename leaves its temporary file behind; the next
// save of the same target removes such leftovers (regular files of this
// user with exactly the temporary's name form, ".<name>.xxxxxxx", that no
// save is still writing).
#include <QByteArray>
#include <QString>

#include <functional>

#include <sys/types.h>

namespace plumora {

void writeFileAtomically(const QString &path, const QByteArray &bytes);

// Removes the leftovers of killed saves of any file in folder, as a save
// removes those of its own target. For folders that only the program writes
// into, whose files may never be saved again under the same name.
void removeStaleTemporaries(const QString &folder);

// Receives what a save that succeeded could not keep of the earlier file
// (its owner), in words for the user; called on the saving thread after the
// rename. Without a handler the notice goes to Qt's warning output. An empty
// function restores that.
void setSaveNoticeHandler(std::function<void(const QString &message)> handler);

// The system calls whose failures a caller cannot foresee. Tests replace
// them to make one fail; each returns what the system call returns and
// sets errno on failure.
struct AtomicWriteCalls
{
    std::function<ssize_t(int fd, const void *data, size_t size)> write;
    std::function<int(int fd)> syncData; // the temporary file's contents
    std::function<int(const char *from, const char *to)> rename;
    std::function<int(int fd)> syncFolder; // the folder after the rename
};

// The calls in use; the system's own unless replaced.
AtomicWriteCalls &atomicWriteCalls();

// Restores the system's own calls for the scope's end.
class ScopedAtomicWriteCalls
{
public:
    explicit ScopedAtomicWriteCalls(AtomicWriteCalls calls);
    ~ScopedAtomicWriteCalls();
    ScopedAtomicWriteCalls(const ScopedAtomicWriteCalls &) = delete;
    ScopedAtomicWriteCalls &operator=(const ScopedAtomicWriteCalls &) = delete;

private:
    AtomicWriteCalls m_saved;
};

} // namespace plumora
