#pragma once
// Replacing a file as a whole: every file the program writes goes through
// here, so a save either puts the complete new file in place or leaves the
// earlier one exactly as it was.
//
// The bytes go to a temporary file beside the target (its name short enough
// for the file system even when the target's own name is at the limit), are
// synced to the device, and the temporary is renamed over the target; then
// the folder is synced so that the rename itself survives a crash. On any
// failure the temporary is removed and EStreamError names the file with the
// system's reason in words:
//   Cannot create file "<name>". <reason>   (no temporary file could be made)
//   Cannot write file "<name>". <reason>    (any later step)
#include <QByteArray>
#include <QString>

#include <functional>
#include <sys/types.h>

namespace plumora {

void writeFileAtomically(const QString &path, const QByteArray &bytes);

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
