#pragma once

#include <QString>
#include <QtGlobal>

namespace vellumet
{

// libcurl's process-wide set-up, made once by the network module when the first run
// loads it.
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

} // namespace vellumet
