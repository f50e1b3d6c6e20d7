#include "ui/LayoutRule.h"

#include <cmath>

namespace vellumet
{

namespace
{

constexpr float Margin = 120;

std::optional<float> notNegative(float size)
{
    if (size < 0)
        return std::nullopt;
    return size;
}

} // namespace

LayoutSizes layoutFor(const LayoutInput &input)
{
    return {notNegative(input.clientHeight - input.listTop - Margin),
            notNegative(input.clientHeight - input.editorTop - Margin),
            notNegative(input.clientWidth - input.editorLeft - Margin)};
}

int roundHalfEven(double value)
{
    return int(std::nearbyint(value)); // default rounding mode is to nearest, ties to even
}

int widenListWidth(int listWidth, double measuredWidth)
{
    return measuredWidth > listWidth ? roundHalfEven(measuredWidth) : listWidth;
}

ListFit fitListWidth(int listWidth, double presentListWidth, double listLeft, double innerWidth)
{
    ListFit fit;
    fit.listWidth = listWidth + 360;
    const double limit = (innerWidth - 360) / 2;
    if (limit < fit.listWidth)
        fit.listWidth = roundHalfEven(limit);
    if (presentListWidth < fit.listWidth) {
        fit.newListWidth = fit.listWidth;
        fit.newEditorLeft = listLeft + fit.listWidth + Margin;
    }
    return fit;
}

QString shortened(const QString &value)
{
    if (value.size() <= ShownValueLength)
        return value;
    // Never half a surrogate pair.
    const qsizetype cut =
        value[ShownValueLength - 1].isHighSurrogate() ? ShownValueLength - 1 : ShownValueLength;
    return value.left(cut) + QStringLiteral("...");
}

QString captionFor(const QString &title)
{
    return title.isEmpty() ? QString() : QStringLiteral("Vellumet - ") + shortened(title);
}

} // namespace vellumet
