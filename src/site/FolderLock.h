#pragma once

#include "site/Result.h"

#include <QLockFile>
#include <QString>

namespace vellumet
{

inline constexpr auto LockFileName = ".vellumet.lock";

// One program folder serves one running program at a time: two at once would fetch and
// write the same page files and local copies, and upload each other's half-made pages.
class FolderLock
{
public:
    explicit FolderLock(const QString &folder);
    Q_DISABLE_COPY_MOVE(FolderLock)

    // Takes the folder, or fails with which program holds it. A lock left by a program
    // that has ended on this machine is taken over. A folder in which no lock can be
    // made at all (a read-only one) is used without: the run then writes nothing there.
    Result<> take();

private:
    QLockFile lock_;
};

// True when name is a file or folder that the program keeps in its folder (the program
// itself, its site definition, trust file, lock, history, the files delivered with it),
// compared without regard to case so that no file system can make two of one.
bool isProgramFileName(const QString &name);

} // namespace vellumet
