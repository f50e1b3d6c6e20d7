#include "publish/OrderedLog.h"

#include "publish/RemotePath.h"

#include <utility>

namespace vellumet
{

OrderedLog::OrderedLog(Sink sink, QStringList directories, QString home)
    : sink_(std::move(sink)), directories_(std::move(directories)), home_(home),
      currentDir_(std::move(home)), pages_(directories_.size())
{
}

void OrderedLog::skip(qsizetype page)
{
    set(page, State::Skipped);
}

void OrderedLog::start(qsizetype page)
{
    set(page, State::Running);
}

void OrderedLog::finish(qsizetype page)
{
    set(page, State::Done);
}

void OrderedLog::set(qsizetype page, State state)
{
    QMutexLocker lock(&mutex_);
    pages_[page].state = state;
    flush();
}

void OrderedLog::entered(qsizetype page, bool inDirectory, const QString &shown)
{
    QMutexLocker lock(&mutex_);
    pages_[page].entered = inDirectory ? Entered::Yes : Entered::No;
    pages_[page].shown = shown;
    flush();
}

void OrderedLog::line(qsizetype page, const QString &line)
{
    QMutexLocker lock(&mutex_);
    pages_[page].lines.append(line);
    flush();
}

void OrderedLog::close()
{
    QMutexLocker lock(&mutex_);
    flush(true);
}

QString OrderedLog::lastDir() const
{
    QMutexLocker lock(&mutex_);
    return lastDir_;
}

QString OrderedLog::currentDir() const
{
    QMutexLocker lock(&mutex_);
    return currentDir_;
}

void OrderedLog::flush(bool closing)
{
    for (; head_ < pages_.size(); ++head_) {
        Page &page = pages_[head_];
        if (page.state == State::Skipped || (closing && page.state == State::Waiting))
            continue;
        if (page.state == State::Waiting)
            return;
        giveDirectory(head_);
        if (!page.settled)
            return;
        for (; page.given < page.lines.size(); ++page.given)
            sink_(page.lines[page.given]);
        if (page.state != State::Done)
            return;
    }
}

// Called for the first unfinished page only, so lastDir_ is what one connection would
// have had on reaching it.
void OrderedLog::giveDirectory(qsizetype index)
{
    Page &page = pages_[index];
    const QString &directory = directories_[index];
    if (!page.opened) {
        page.opened = true;
        page.changes = directory != lastDir_;
        page.path = pageDirectoryPath(home_, directory, !lastDir_.isEmpty());
        if (page.changes)
            sink_(QStringLiteral("Changing Directory to ") + page.path);
    }
    if (page.settled || (page.entered == Entered::Unknown && page.state != State::Done))
        return;
    page.settled = true;
    if (page.entered == Entered::Yes && page.changes) {
        lastDir_ = directory;
        currentDir_ = page.shown;
        sink_(QStringLiteral("Current Directory is ") + page.shown);
    } else if (page.entered == Entered::No) {
        if (!page.changes) // this connection had to change where one would not have
            sink_(QStringLiteral("Changing Directory to ") + page.path);
        sink_(QStringLiteral("ERROR Failed to Change Directory to ") + page.path);
    }
}

} // namespace vellumet
