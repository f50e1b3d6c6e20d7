#include "ui/WidestText.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

namespace vellumet
{

namespace
{

// Shaping a text costs far more than looking up its characters. In a fixed-pitch font,
// a text of Latin letters that the font draws itself is shaped glyph for glyph, one
// cell each, so its advance is at most its length times the widest of those cells: such
// a text that cannot beat the widest measured so far need not be measured. Anything
// else (tabs, marks, other scripts, characters from a fallback font) always is.
class CellBound
{
public:
    explicit CellBound(const QFont &font)
        : metrics_(font), fixedPitch_(QFontInfo(font).fixedPitch() && font.letterSpacing() == 0 &&
                                      font.wordSpacing() == 0),
          cell_(metrics_.maxWidth())
    {
    }

    // An advance the text cannot exceed, or nullopt when no such bound is known.
    std::optional<double> of(const QString &text)
    {
        if (!fixedPitch_)
            return std::nullopt;
        for (const QChar c : text) {
            if (!isPlainCell(c))
                return std::nullopt;
        }
        // A pixel for the rounding of the measured advance.
        return double(text.size()) * cell_ + 1;
    }

private:
    enum class Cell : char { Unknown, Plain, Other };
    static constexpr char16_t Latin = 0x250; // Latin-1 and the Latin Extended blocks

    // Each character is looked up once: a text set repeats the same few dozen.
    bool isPlainCell(QChar c)
    {
        if (c.unicode() >= Latin)
            return false;
        Cell &known = cells_[c.unicode()];
        if (known == Cell::Unknown) {
            known = c.isPrint() && !c.isMark() && metrics_.inFont(c) ? Cell::Plain : Cell::Other;
            if (known == Cell::Plain)
                cell_ = std::max(cell_, metrics_.horizontalAdvance(c));
        }
        return known == Cell::Plain;
    }

    const QFontMetricsF metrics_;
    const bool fixedPitch_;
    double cell_;
    std::array<Cell, Latin> cells_{};
};

} // namespace

int widestAdvance(const QFont &font, const QStringList &texts)
{
    std::vector<qsizetype> longestFirst(size_t(texts.size()));
    std::iota(longestFirst.begin(), longestFirst.end(), 0);
    std::stable_sort(longestFirst.begin(), longestFirst.end(),
                     [&](qsizetype a, qsizetype b) { return texts[a].size() > texts[b].size(); });
    const QFontMetrics metrics(font);
    CellBound bound(font);
    int widest = 0;
    for (const qsizetype n : longestFirst) {
        const QString &text = texts[n];
        if (const std::optional<double> most = bound.of(text); most && *most <= widest)
            continue;
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    return widest;
}

} // namespace vellumet
