#pragma once

#include <QList>
#include <QString>

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

} // namespace vellumet
