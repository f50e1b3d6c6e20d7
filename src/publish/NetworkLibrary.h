#pragma once

#include <QString>
#include <QtGlobal>

namespace vellumet
{

// libcurl's process-wide set-up, held by main for the program's life. Made before any
// thread exists: the set-up is not thread-safe.
class NetworkLibrary final
{
public:
    NetworkLibrary();
    ~NetworkLibrary();
    Q_DISABLE_COPY_MOVE(NetworkLibrary)

    bool ready() const { return ready_; }

private:
    bool ready_ = false;
};

// The version of the libcurl actually loaded, which may be newer than the headers built
// against.
QString networkLibraryVersion();

} // namespace vellumet
