#pragma once

#include "site/Result.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace vellumet
{

// Earlier texts of a paragraph, kept in folder/history/NAME/ so that a client can take
// back a publish that went wrong. One file per version, named by the local time it was
// replaced ("2026-12-06 15-40-12.txt", then " (2)" and up within one second), in the
// local copies' character set.

inline constexpr int MaxEarlierTexts = 100;

struct EarlierText {
    QString fileName;
    QDateTime replaced;
    QString text;
};

// Keeps text as the newest earlier version of the paragraph, unless the newest kept
// version already holds it; the oldest beyond MaxEarlierTexts go.
Result<> keepEarlierText(const QString &folder, const QString &paraName, const QString &text,
                         const QDateTime &now = QDateTime::currentDateTime());

// The kept versions, newest first; files that cannot be read are left out.
QList<EarlierText> earlierTexts(const QString &folder, const QString &paraName);

// Whether any version is kept, without reading them.
bool hasEarlierTexts(const QString &folder, const QString &paraName);

} // namespace vellumet
