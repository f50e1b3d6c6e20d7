#pragma once

#include <QHash>
#include <QString>
#include <QTemporaryDir>

// Throwaway TLS certificates made afresh for a test: an authority of its own and a
// certificate of each kind a server may show, with each one's key pin worked out apart
// from the program's own code.
class TestCertificates final
{
public:
    enum class Kind { Trusted, OtherName, Expired, SelfSigned };

    // False with errorString() when they could not be made.
    bool make();
    QString errorString() const { return error_; }

    QString authority() const; // the PEM file of the authority that signed all but SelfSigned
    QString certificate(Kind kind) const;
    QString key(Kind kind) const;
    QString pin(Kind kind) const { return pins_.value(name(kind)); } // "sha256//..."

private:
    static QString name(Kind kind);

    QTemporaryDir dir_;
    QHash<QString, QString> pins_;
    QString error_;
};
