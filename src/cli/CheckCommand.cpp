#include "cli/CheckCommand.h"

#include "cli/PublishCommand.h"
#include "publish/PublishRun.h"
#include "publish/SiteCheckOnline.h"
#include "site/SiteDefinition.h"
#include "site/SiteDefinitionCheck.h"
#include "site/WholeFile.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <exception>

using namespace Qt::StringLiterals;

namespace vellumet
{

namespace
{

QList<CheckFinding> checkOnline(const QByteArray &bytes, const FtpClientFactory &clients,
                                PasswordStore &passwords)
{
    SiteDefinition site = parseSiteDefinition(bytes);
    site.settings.password = sitePassword(site.settings, passwords);
    const QTemporaryDir scratch;
    std::unique_ptr<FtpClient> ftp;
    try {
        ftp = clients();
    } catch (const std::exception &) {
    }
    if (!ftp || !scratch.isValid())
        return {{0, u"login"_s, u"could not log in: the connection could not be set up"_s}};
    return checkSiteOnline(site, definitionLines(bytes), *ftp, scratch.path());
}

void writeText(const QString &file, const QList<CheckFinding> &findings)
{
    for (const CheckFinding &f : findings)
        writeOut(oneLine(file + (f.line > 0 ? u":%1: "_s.arg(f.line) : u": "_s) + f.message));
    if (findings.isEmpty())
        writeOut(file + u": no problems found"_s);
}

void writeJson(const QString &file, const QList<CheckFinding> &findings, const QString &error)
{
    QJsonObject report{{u"file"_s, file}};
    if (!error.isEmpty())
        report.insert(u"error"_s, error);
    QJsonArray problems;
    for (const CheckFinding &f : findings)
        problems.append(QJsonObject{{u"line"_s, f.line > 0 ? QJsonValue(f.line) : QJsonValue()},
                                    {u"kind"_s, f.kind},
                                    {u"message"_s, f.message}});
    report.insert(u"problems"_s, problems);
    writeOut(QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented)).trimmed());
}

} // namespace

int runCheck(const QString &folder, bool online, bool json, const FtpClientsFor &clientsFor,
             PasswordStore &passwords)
{
    const QString file = QDir(folder).filePath(QLatin1StringView(SiteDefinitionFileName));
    const Result<QByteArray> bytes = readSiteDefinitionFile(folder);
    if (!bytes) {
        json ? writeJson(file, {}, bytes.error())
             : writeError(oneLine(u"vellumet: "_s + file + u": "_s + bytes.error()));
        return 2;
    }
    QList<CheckFinding> findings = checkSiteDefinition(
        *bytes, [&folder](const QString &name) { return isRegularFile(folder + u'/' + name); });
    if (online)
        findings += checkOnline(*bytes, clientsFor(folder), passwords);
    sortFindings(findings);
    json ? writeJson(file, findings, {}) : writeText(file, findings);
    return findings.isEmpty() ? 0 : 1;
}

} // namespace vellumet
