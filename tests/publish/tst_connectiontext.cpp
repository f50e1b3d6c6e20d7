#include "TestFiles.h"

#include "publish/CertificateAuthorities.h"
#include "publish/CurlTransport.h"
#include "publish/FtpReplies.h"
#include "publish/RemotePath.h"
#include "publish/ServerAddress.h"
#include "publish/TrustFile.h"
#include "publish/TrustRefusals.h"
#include "publish/WebText.h"
#include "site/SiteDefinition.h"

namespace
{

const QByteArray Tls = "sha256//coMMuF+lQ7yq+7c3jJtrItiTNfGRj6AYyGehvIBdeto=";
const QByteArray Ssh = "SHA256:kGfyAW6uhPIDwv645z5jnaVKbDycXOfunbGbn5KkUBs";
using Texts = QList<QPair<QString, QString>>; // paragraph name, text

} // namespace

class TestConnectionText : public QObject
{
    Q_OBJECT
private slots:
    void serverAddress_data()
    {
        // result: the address as a URL, or a part of the reason
        columns<QString, QString>("server", "result");
        const char *bad = "is not valid", *badPort = "must be a number from 1 to 65535";
        row("bare host is plain FTP on 21", " ftp.example.com\t", "ftp://ftp.example.com:21");
        row("IPv4 and the highest port", "127.0.0.1:65535", "ftp://127.0.0.1:65535");
        row("bare IPv6", "fe80::1", "ftp://[fe80::1]:21");
        row("scheme in capitals, slash", "FTP://example.com:2121/", "ftp://example.com:2121");
        row("implicit TLS on 990", "ftps://example.com", "ftps://example.com:990");
        row("SFTP on 22", "sftp://[::1]", "sftp://[::1]:22");
        row("unknown scheme", "http://example.com", "Unknown connection type \"http://\"");
        row("scheme only", "ftp://", bad);
        row("port zero", "example.com:0", badPort);
        row("port too big", "example.com:65536", badPort);
        row("port signed", "example.com:+21", badPort);
        row("unclosed bracket", "[::1", bad);
        row("bracket not IPv6", "[example.com]", bad);
        row("junk after bracket", "[::1]21", bad);
        row("bracket, empty port", "[::1]:", badPort);
    }
    void serverAddress()
    {
        const auto [server, result] = fetch<QString, QString>("server", "result");
        const Result<ServerAddress> address = parseServerAddress(server);
        if (address)
            QCOMPARE(schemeName(address->transport) + address->authority(), result);
        else
            QVERIFY2(address.error().contains(result), qPrintable(address.error()));
    }
    void replies_data()
    {
        // dir: of the last 257 reply; sentence: for the last code, or 550
        columns<QByteArray, QString, QList<int>, QString>("replies", "dir", "codes", "sentence");
        row("last 257 counts, quoted 250 does not", "250 \"/x\" ok\r\n257 \"/y\"\r\n"_ba, "/y",
            QList<int>{250, 257}, "\"/y\" (257)");
        row("unquoted directory", "257 /home\r\n"_ba, "", QList<int>{257}, "/home (257)");
        row("unclosed quote", "257 \"/home\r\n"_ba, "", QList<int>{257}, "\"/home (257)");
        row("multi-line reply counts once, by its last line",
            "550-Detail\r\n 200 inside\r\n550 No such file.\r\n"_ba, "", QList<int>{550},
            "No such file (550)");
        row("no text: a stand-in", "530\r\n"_ba, "", QList<int>{530}, "Login incorrect (530)");
        row("code only as a prefix", "hello\r\n5501 x\r\n"_ba, "", QList<int>{},
            "No such file or directory, or no permission (550)");
    }
    void replies()
    {
        const auto [replies, codes] = fetch<QByteArray, QList<int>>("replies", "codes");
        QTEST(directoryFromReplies(replies), "dir");
        QCOMPARE(replyCodes(replies), codes);
        QTEST(replySentence(replies, codes.isEmpty() ? 550 : codes.back()), "sentence");
        QCOMPARE(replySentence(replies, 553), u"File name not allowed (553)"_s); // no such reply
    }
    void trustFile_data()
    {
        // pins: "host key" lines, or the start of the error
        columns<QByteArray, QByteArray>("bytes", "pins");
        const QByteArray line1 = "vellumet-trust.txt, line 1, is not a host name and a key";
        row("comments, blank lines, mark, tabs",
            "\xEF\xBB\xBF# ours\r\n\r\n \t\r\na.example\t" + Tls + " # May", "a.example " + Tls);
        row("host as in SERVER; TLS prefix in capitals; SSH padded",
            "ftps://A.example:990/ SHA256//" + Tls.mid(8) + "\nsftp://[::1]:22 " + Ssh + "=\n",
            "A.example " + Tls + "\n::1 " + Ssh);
        row("a later line not understood", "a.example " + Tls + "\n\nb.example\n",
            "vellumet-trust.txt, line 3"_ba);
        row("digest of another size", "a.example sha256//" + QByteArray(20, 'A').toBase64(), line1);
        row("SSH key in the TLS spelling", "a.example sha256:" + Ssh.mid(7), line1);
        row("key without host", Tls, line1);
        row("host that is no host", "a..example " + Tls, line1);
    }
    void trustFile()
    {
        const auto [bytes, pins] = fetch<QByteArray, QByteArray>("bytes", "pins");
        const Result<TrustFile> file = parseTrustFile(bytes);
        QStringList lines;
        for (const TrustFile::Pin &pin : file ? file->pins : QList<TrustFile::Pin>())
            lines.append(pin.host + u' ' + pin.key);
        const QString got = file ? lines.join(u'\n') : file.error();
        QVERIFY2(file ? got == QLatin1StringView(pins) : got.startsWith(QLatin1StringView(pins)),
                 qPrintable(got));
        QVERIFY(!file || !file->pins.isEmpty());
    }
    // TLS and SSH pins apart, hosts in any case, every pin of a host (so keys change gaplessly).
    void keysOfOneHost()
    {
        const QByteArray other = Tls.left(8) + QByteArray(Tls.mid(8)).replace('c', 'd');
        const TrustFile file = *parseTrustFile("a.example " + Tls + "\nA.example " + Ssh +
                                               "\nb.example " + Ssh + "\na.example " + other);
        QCOMPARE(file.tlsPins(u"a.EXAMPLE"_s), QStringList({QString(Tls), QString(other)}));
        QCOMPARE(file.sshFingerprints(u"a.example"_s), QStringList{QString::fromLatin1(Ssh)});
        QCOMPARE(file.tlsPins(u"ftp.a.example"_s), QStringList());
    }
    void certificateRefusal_data()
    {
        columns<QByteArray, QString, QString>("said", "problem", "remedy");
        const char *authority = "Ask the host for a certificate signed by a known authority, or";
        row("self-signed", "SSL certificate problem: self signed certificate"_ba, "is self-signed",
            authority);
        row("private authority in the chain, not self-signed",
            "SSL certificate problem: self-signed certificate in certificate chain"_ba,
            "is signed by an authority this computer does not trust", authority);
        row("expired", "SSL certificate problem: certificate has expired"_ba, "has expired",
            "Ask the host to renew it, or");
        row("anything else, in libcurl's words", "SSL: odd"_ba, "could not be verified (SSL: odd)",
            authority);
    }
    void certificateRefusal()
    {
        const auto [said, problem, remedy] =
            fetch<QByteArray, QString, QString>("said", "problem", "remedy");
        const QString pin = QString::fromLatin1(Tls);
        QCOMPARE(vellumet::certificateRefusal(u"h.example"_s, said, pin),
                 u"The certificate of h.example %1, so the connection was not trusted and no login "
                 "was sent. %2 pin this server's key by adding the line \"h.example %3\" to "
                 "vellumet-trust.txt beside vellumet.ini"_s.arg(problem, remedy, pin));
        // Where libcurl does not hand over OpenSSL's context the pin is not known.
        QVERIFY(
            vellumet::certificateRefusal(u"h.example"_s, said, QString())
                .endsWith(u"pin this server's key in vellumet-trust.txt beside vellumet.ini"_s));
    }
    // The file as stored and renamed, the path as SFTP resolves it, and the file's URLs.
    void remotePaths_data()
    {
        columns<QString, QString, QString, QString, QByteArray, QByteArray>(
            "directory", "path", "file", "resolved", "ftpUrl", "sftpUrl");
        row("plain, escaped, UTF-8", "/a b", "x%#?;\u00E9", "/a b/x%#?;\u00E9", "/a b/x%#?;\u00E9",
            "/%2Fa%20b/x%25%23%3F%3B%C3%A9"_ba, "/a%20b/x%25%23%3F%3B%C3%A9"_ba);
        row("directory reply with dots, doubled and trailing slashes", "/h//x/../s/./", "a",
            "/h/s/a", "/h/s/a", "/%2Fh/s/a"_ba, "/h/s/a"_ba);
        row("up past the root", "/", "../../a", "/a", "/a", "/%2Fa"_ba, "/a"_ba);
        row("names with dots kept", "/a", "...x/.y", "/a/...x/.y", "/a/...x/.y", "/%2Fa/...x/.y"_ba,
            "/a/...x/.y"_ba);
        row("absolute path", "/h", "/p//n/", "/p/n", "/p/n", "/%2Fp/n"_ba, "/p/n"_ba);
        row("relative directory: the server's", "s", "a", "a", "/s/a", "/a"_ba, "/~/a"_ba);
    }
    void remotePaths()
    {
        const auto [directory, path, file] =
            fetch<QString, QString, QString>("directory", "path", "file");
        QCOMPARE(remoteFilePath(directory, path), file);
        QTEST(resolveRemotePath(directory, path), "resolved");
        QTEST(remoteUrlPath(file, false), "ftpUrl");
        QTEST(remoteUrlPath(file, true), "sftpUrl");
        for (const QString &name : {u"."_s, u".."_s, u"a/b"_s, u"a\nb"_s, QString()})
            QVERIFY2(!isRemoteFileName(name), qPrintable(name));
        // A page's directory: the server's own until the run has left the login directory.
        QVERIFY(pageDirectoryPath("/h", "b", false) == u"b" &&
                pageDirectoryPath("/h", "/p", true) == u"/p" &&
                pageDirectoryPath("/h", "b", true) == u"/h/b" &&
                pageDirectoryPath("/h", "", true) == u"/h" &&
                pageDirectoryPath("/", "b", true) == u"/b" &&
                pageDirectoryPath("/", "", true) == u"/" &&
                pageDirectoryPath("", "b", true) == u"/b" &&
                pageDirectoryPath("", "", true) == u"/");
    }
    void splice_data()
    {
        columns<QString, Texts, QString, QString>("delimiter", "paragraphs", "page", "result");
        const Texts intro{{"Intro", "a < b\r\nc"}};
        const QString at(40, u'@'); // every position a near miss of the marker
        row("near misses, unknown names", "@{", intro, at + "@{Intro}@@{intro}@" + at,
            at + "a &lt; b<br>c@{intro}@" + at);
        row("no text removes every marker", "@{", Texts{{"Intro", ""}}, "a@{Intro}@b@{Intro}@",
            "ab");
        row("typed marker filled by a later paragraph", "@{",
            Texts{{"Intro", "@{News}@"}, {"News", "new"}}, "@{Intro}@", "new");
        row("empty marker", "", Texts{{"", "x"}}, "abc", "abc");
        row("markup", "@{", Texts{{"Intro", "<b>\"&amp;\" it's</b>"}}, "@{Intro}@",
            "&lt;b&gt;&quot;&amp;amp;&quot; it's&lt;/b&gt;");
        row("only CR LF breaks", "@{", Texts{{"Intro", "a\nb\rc\n\r\r\r\nd\r\n"}}, "@{Intro}@",
            "a\nb\rc\n\r\r<br>d<br>");
    }
    void splice()
    {
        const auto [delimiter, paragraphs, page] =
            fetch<QString, Texts, QString>("delimiter", "paragraphs", "page");
        QList<Paragraph> paras;
        for (const auto &[name, text] : paragraphs)
            paras.append({name, name, text});
        QTEST(spliceParagraphs(page, delimiter, deriveEndDelimiter(delimiter), paras).value(),
              "result");
        const QList<Paragraph> doubling{{"a", "", "@{b}@@{b}@"}, {"b", "", "xx"}}; // past the bound
        QVERIFY(!spliceParagraphs(u"@{a}@"_s, u"@{"_s, u"}@"_s, doubling, 9).ok());
    }
    // present: below a fake root, "path" a bundle, "path/" a folder, "path=" an empty file,
    // "path>target" a link; found: the bundle taken.
    void authorityBundle_data()
    {
        columns<QStringList, QString>("present", "found");
        const QString debian = u"/etc/ssl/certs/ca-certificates.crt"_s,
                      fedora = u"/etc/pki/tls/certs/ca-bundle.crt"_s,
                      suse = u"/var/lib/ca-certificates/ca-bundle.pem"_s;
        row("Debian's is taken first", QStringList{suse, debian}, debian);
        row("openSUSE's where it is the only one", QStringList{suse}, suse);
        row("a link to the generated bundle",
            QStringList{fedora + ">/generated.pem", "/generated.pem"}, fedora);
        row("a dangling link, a folder and an empty file are no bundle",
            QStringList{debian + ">/nowhere", fedora + "/", suse + "="}, "");
    }
    void authorityBundle()
    {
        const auto [present, found] = fetch<QStringList, QString>("present", "found");
        QTemporaryDir root;
        for (const QString &entry : present) {
            const QString path = root.path() + entry.section(u'>', 0, 0).remove(u'=');
            QVERIFY(QDir().mkpath(entry.endsWith(u'/') ? path : QFileInfo(path).path()));
            if (entry.contains(u'>'))
                QVERIFY(QFile::link(root.path() + entry.section(u'>', 1), path));
            else if (!entry.endsWith(u'/'))
                QVERIFY(writeTestFile(path, entry.endsWith(u'=') ? "" : "-----BEGIN"));
        }
        QCOMPARE(firstAuthorityBundle(usualAuthorityBundles(), root.path()), found);
    }
};

QTEST_GUILESS_MAIN(TestConnectionText)
#include "tst_connectiontext.moc"
