#pragma once

#include "site/Catalogue.h"

#include <QString>
#include <QStringList>

// Builders of the large inputs shared by the robustness tests.

inline QString Repeated(const QString &unit, qsizetype count)
{
    QString text;
    text.reserve(unit.size() * count);
    for (qsizetype i = 0; i < count; ++i)
        text += unit;
    return text;
}

// One paragraph per name, described by its name, with the text at the same position.
inline QList<Paragraph> Paragraphs(const QStringList &names, const QStringList &texts)
{
    QList<Paragraph> paras;
    for (qsizetype i = 0; i < names.size(); ++i)
        paras.append({names[i], names[i], texts.value(i), false});
    return paras;
}
