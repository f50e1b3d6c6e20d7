#include "publish/FtpReplies.h"

namespace vellumet
{

namespace
{

// Every complete reply line of the given code ("550 text" or "550-text").
QList<QByteArray> linesOf(const QByteArray &replies, int code)
{
    const QByteArray prefix = QByteArray::number(code);
    QList<QByteArray> lines;
    for (QByteArray line : replies.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() >= 3 && line.startsWith(prefix) &&
            (line.size() == 3 || line[3] == ' ' || line[3] == '-'))
            lines.append(line);
    }
    return lines;
}

QString standIn(int code)
{
    switch (code) {
    case 421:
        return QStringLiteral("The server closed the connection");
    case 450:
    case 550:
        return QStringLiteral("No such file or directory, or no permission");
    case 452:
    case 552:
        return QStringLiteral("Not enough space on the server");
    case 530:
        return QStringLiteral("Login incorrect");
    case 553:
        return QStringLiteral("File name not allowed");
    default:
        return QStringLiteral("The server refused the request");
    }
}

} // namespace

QString directoryFromReplies(const QByteArray &replies)
{
    const QList<QByteArray> lines = linesOf(replies, 257);
    if (lines.isEmpty())
        return {};
    const QByteArray &line = lines.back();
    qsizetype i = line.indexOf('"');
    if (i < 0)
        return {};
    QByteArray directory;
    for (++i; i < line.size(); ++i) {
        if (line[i] != '"') {
            directory.append(line[i]);
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
            directory.append('"');
            ++i;
        } else {
            return QString::fromUtf8(directory);
        }
    }
    return {}; // no closing quote
}

QList<int> replyCodes(const QByteArray &replies)
{
    QList<int> codes;
    for (QByteArray line : replies.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        bool ok = false;
        const int code = line.left(3).toInt(&ok);
        if (ok && code >= 100 && code <= 599 && (line.size() == 3 || line[3] == ' '))
            codes.append(code);
    }
    return codes;
}

QString replySentence(const QByteArray &replies, int code)
{
    const QList<QByteArray> lines = linesOf(replies, code);
    QString text =
        lines.isEmpty() ? QString() : QString::fromUtf8(lines.back().mid(4)).simplified();
    while (text.endsWith(u'.'))
        text.chop(1);
    if (text.isEmpty() || text.size() > 200)
        text = standIn(code);
    return text + QStringLiteral(" (") + QString::number(code) + u')';
}

bool isUnknownCommand(int reply)
{
    return reply == 500 || reply == 502 || reply == 504;
}

bool isCommandArgument(const QString &text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(QChar(0));
}

} // namespace vellumet
