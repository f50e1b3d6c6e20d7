#include "site/Catalogue.h"

#include <cmath>

namespace vellumet
{

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
        fit.newEditorLeft = listLeft + fit.listWidth + 120;
    }
    return fit;
}

} // namespace vellumet
