#include "CuttingProxy.h"

#include "ScriptProcess.h"

#include <QFile>

bool CuttingProxy::start(quint16 serverPort, const Cut &cut)
{
    stop();
    QStringList args{QStringLiteral("--target"), QString::number(serverPort),
                     QStringLiteral("--log"), dir_.filePath(QStringLiteral("proxy.log"))};
    if (!cut.command.isEmpty()) {
        QString rule = cut.command + u':' + QString::number(cut.occurrence);
        if (cut.afterBytes >= 0)
            rule += u':' + QString::number(cut.afterBytes);
        args << QStringLiteral("--cut") << rule;
    }
    if (cut.silent)
        args << QStringLiteral("--silence");
    port_ = StartScript(process_, QStringLiteral(VELLUMET_CUTTING_PROXY), args,
                        dir_.filePath(QStringLiteral("proxy.err")), &error_);
    return port_ != 0;
}

void CuttingProxy::stop()
{
    StopScript(process_);
    port_ = 0;
}

QString CuttingProxy::address() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port_);
}

QStringList CuttingProxy::logLines() const
{
    QFile file(dir_.filePath(QStringLiteral("proxy.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// Command lines are "<session> <command line>", cuts "CUT <what>".
QStringList CuttingProxy::commands() const
{
    QStringList commands;
    for (const QString &line : logLines())
        if (!line.startsWith(QStringLiteral("CUT ")))
            commands.append(line.section(u' ', 1));
    return commands;
}

QStringList CuttingProxy::cuts() const
{
    QStringList cuts;
    for (const QString &line : logLines())
        if (line.startsWith(QStringLiteral("CUT ")))
            cuts.append(line.mid(4));
    return cuts;
}
