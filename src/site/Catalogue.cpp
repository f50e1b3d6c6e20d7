#include "site/Catalogue.h"

#include <cmath>

int RoundHalfEven(double value)
{
    return int(std::nearbyint(value)); // default rounding mode is to nearest, ties to even
}

int WidenListWidth(int listWidth, double measuredWidth)
{
    return measuredWidth > listWidth ? RoundHalfEven(measuredWidth) : listWidth;
}

ListFit FitListWidth(int listWidth, double presentListWidth, double listLeft, double innerWidth)
{
    ListFit fit;
    fit.ListWidth = listWidth + 360;
    const double limit = (innerWidth - 360) / 2;
    if (limit < fit.ListWidth)
        fit.ListWidth = RoundHalfEven(limit);
    if (presentListWidth < fit.ListWidth) {
        fit.NewListWidth = fit.ListWidth;
        fit.NewEditorLeft = listLeft + fit.ListWidth + 120;
    }
    return fit;
}
