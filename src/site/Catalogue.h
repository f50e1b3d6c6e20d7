#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace vellumet
{

// One page the publish run updates: fetched as source, written and uploaded as target.
struct Page {
    QString source;
    QString target;
    QString directory;
};

// One editable paragraph; text has CR LF line ends.
struct Paragraph {
    QString name;
    QString description;
    QString text;
    // The local copy exists but could not be read. Its empty text must never be
    // written over that file unless the user has typed something.
    bool localCopyUnreadable = false;
};

// Pages and paragraphs are numbered from 1, as the window's list item data is;
// 0 never names one.
struct Catalogue {
    QList<Page> pages;
    QList<Paragraph> paragraphs;
    int currentPara = 0;
    int listWidth = 0;

    int pageCount() const { return int(pages.size()); }
    int paraCount() const { return int(paragraphs.size()); }
    Page &page(int n) { return pages[n - 1]; }
    const Page &page(int n) const { return pages[n - 1]; }
    Paragraph &para(int n) { return paragraphs[n - 1]; }
    const Paragraph &para(int n) const { return paragraphs[n - 1]; }
};

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

} // namespace vellumet
