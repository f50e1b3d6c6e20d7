#pragma once

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace vellumet
{
}
using namespace vellumet;
using namespace Qt::StringLiterals;

// Whole files for tests: a failure shows in the comparison rather than passing silently.
inline QByteArray readTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeTestFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// One table row on one line: plain literals are UTF-8 text, anything else goes in as it is.
inline QString rowValue(const char *text)
{
    return QString::fromUtf8(text);
}
template <typename T> const T &rowValue(const T &value)
{
    return value;
}
template <typename... T> void row(const char *name, const T &...values)
{
    (QTest::newRow(name) << ... << rowValue(values));
}
template <typename... T, typename... N> void columns(const N &...names)
{
    (QTest::addColumn<T>(names), ...);
}
template <typename... T, typename... N> std::tuple<T...> fetch(const N &...names)
{
    return {*static_cast<T *>(QTest::qData(names, qMetaTypeId<T>()))...};
}
// The whole text matches the pattern, where "..." stands for any text.
inline bool matchesGaps(const QString &text, const QString &pattern)
{
    const QString escaped = QRegularExpression::escape(pattern).replace("\\.\\.\\.", ".*");
    return QRegularExpression(QRegularExpression::anchoredPattern(escaped)).match(text).hasMatch();
}
