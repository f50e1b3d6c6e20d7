#pragma once

#include <QString>

#include <optional>

namespace vellumet
{

// What the layout rule reads, in twips: the client area and the edges that stay put.
struct LayoutInput {
    float clientWidth = 0;
    float clientHeight = 0;
    float listTop = 0;
    float editorLeft = 0;
    float editorTop = 0;
};

// A size that would be negative is left out: that control keeps what it has.
struct LayoutSizes {
    std::optional<float> listHeight;
    std::optional<float> editorHeight;
    std::optional<float> editorWidth;
};

// The list and the editor fill the client area down to, and the editor across to, a
// 120-twip margin.
LayoutSizes layoutFor(const LayoutInput &input);

// Rounds to the nearest whole number, halves to the even neighbour.
int roundHalfEven(double value);

// listWidth grown by one measured description width (twips).
int widenListWidth(int listWidth, double measuredWidth);

struct ListFit {
    int listWidth = 0;                  // the catalogue's listWidth after fitting
    std::optional<double> newListWidth; // set only when the list must grow
    std::optional<double> newEditorLeft;
};

// The list-width fitting applied after the whole site definition has been read;
// all values in twips. The list is never made narrower.
ListFit fitListWidth(int listWidth, double presentListWidth, double listLeft, double innerWidth);

// Values are read whole but shown at most this long: laying out a line of megabytes in
// the caption or the editor would freeze the window.
inline constexpr qsizetype ShownValueLength = 1000;
// The value itself, or its first ShownValueLength characters and "...".
QString shortened(const QString &value);

// The window caption for a site title, shortened; empty when the design caption is to stay.
QString captionFor(const QString &title);

} // namespace vellumet
