#pragma once

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>

namespace vellumet
{

// Gives out the pages' lines in catalogue order, as one connection working through the
// pages in turn would have written them, while several connections work on them at once.
// A page's lines go out as soon as every page before it is done; the first unfinished
// page's lines go out as they come. The directory lines are the log's own: a connection
// changes directory as it needs, and the log says what one connection would have done.
// Every member may be called from any thread.
class OrderedLog final
{
public:
    using Sink = std::function<void(const QString &line)>;

    // directories: each page's directory as configured; home: the login directory.
    OrderedLog(Sink sink, QStringList directories, QString home);

    void skip(qsizetype page); // never published: its names were refused
    void start(qsizetype page);
    // Whether the connection got into the page's directory, and its current directory
    // there; a step that threw before it knew leaves this unsaid.
    void entered(qsizetype page, bool inDirectory, const QString &shown);
    void line(qsizetype page, const QString &line);
    void finish(qsizetype page);
    // Gives out every finished page left, passing over those never started.
    void close();

    // The run's directory state as one connection would have left it.
    QString lastDir() const;
    QString currentDir() const;

private:
    enum class State { Waiting, Running, Done, Skipped };
    enum class Entered { Unknown, Yes, No };
    struct Page {
        State state = State::Waiting;
        Entered entered = Entered::Unknown;
        QString shown;
        QStringList lines;
        qsizetype given = 0;
        bool opened = false;  // the directory change is decided (and announced)
        bool changes = false; // one connection would change directory here
        bool settled = false; // the change's outcome is given out
        QString path;
    };

    void set(qsizetype page, State state);
    void flush(bool closing = false);
    void giveDirectory(qsizetype page);

    mutable QMutex mutex_;
    Sink sink_;
    QStringList directories_;
    QString home_;
    QString lastDir_;
    QString currentDir_;
    QList<Page> pages_;
    qsizetype head_ = 0;
};

} // namespace vellumet
