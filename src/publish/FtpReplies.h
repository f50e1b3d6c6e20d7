#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace vellumet
{

// The text handling around FTP commands and replies, apart from the connection so
// that odd server answers and odd names can be checked without a server.

// The directory of the last 257 reply in replies (the server's answer to PWD), with
// doubled quotes undone; empty when there is none or it is not quoted.
QString directoryFromReplies(const QByteArray &replies);

// The codes of the complete replies in replies, in order (a multi-line reply counts
// once, by its last line).
QList<int> replyCodes(const QByteArray &replies);

// The server's own words for the last reply with this code, e.g.
// "No such file or directory (550)"; a plain stand-in when the server gave no text.
QString replySentence(const QByteArray &replies, int code);

// True for a reply by which a server says it has no such command at all (500, 502, 504),
// as opposed to refusing this one request.
bool isUnknownCommand(int reply);

// False for text that would end an FTP command line early.
bool isCommandArgument(const QString &text);

} // namespace vellumet
