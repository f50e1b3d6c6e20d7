#pragma once

#include <QStringList>

class QFont;

namespace vellumet
{

// The horizontal advance in pixels of the widest of texts in font, as
// QFontMetrics::horizontalAdvance gives it for each; 0 for none.
int widestAdvance(const QFont &font, const QStringList &texts);

} // namespace vellumet
