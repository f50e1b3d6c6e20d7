#pragma once

#include <QList>
#include <QString>

#include <optional>

// One page the publish run updates: fetched as PageSource, written and uploaded as PageTarget.
struct Page {
    QString PageSource;
    QString PageTarget;
    QString PageDirectory;
};

// One editable paragraph; ParaText has CR LF line ends.
struct Paragraph {
    QString ParaName;
    QString ParaDescription;
    QString ParaText;
    // The local copy exists but could not be read. Its empty text must never be
    // written over that file unless the user has typed something.
    bool LocalCopyUnreadable = false;
};

// Pages and paragraphs are numbered from 1, as the window's list item data is;
// 0 never names one.
struct Catalogue {
    QList<Page> Pages;
    QList<Paragraph> Paragraphs;
    int CurrentPara = 0;
    int ListWidth = 0;

    int PageCount() const { return int(Pages.size()); }
    int ParaCount() const { return int(Paragraphs.size()); }
    Page &page(int n) { return Pages[n - 1]; }
    const Page &page(int n) const { return Pages[n - 1]; }
    Paragraph &para(int n) { return Paragraphs[n - 1]; }
    const Paragraph &para(int n) const { return Paragraphs[n - 1]; }
};

// Rounds to the nearest whole number, halves to the even neighbour.
int RoundHalfEven(double value);

// ListWidth grown by one measured description width (twips).
int WidenListWidth(int listWidth, double measuredWidth);

struct ListFit {
    int ListWidth = 0;                  // the catalogue's ListWidth after fitting
    std::optional<double> NewListWidth; // set only when the list must grow
    std::optional<double> NewEditorLeft;
};

// The list-width fitting applied after the whole site definition has been read;
// all values in twips. The list is never made narrower.
ListFit FitListWidth(int listWidth, double presentListWidth, double listLeft, double innerWidth);
