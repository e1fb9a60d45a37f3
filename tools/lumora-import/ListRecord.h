#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Writing records of a list file (see data/README.md): "|name|address", the
// whole record in double quotes when it holds a comma, GBK, CR LF.
namespace ListRecord {

struct Address
{
    QString text;
    bool encoded = false; // characters were percent-encoded
    QString problem;      // why it cannot be written at all; empty when it can
};

// The address as a record can hold it. A "|" would end the field and a
// double quote the quoted record, and GBK has no form for many characters:
// in an address with a scheme these are percent-encoded as UTF-8, as any
// client sends them; a plain path that holds one cannot be written.
Address address(const QString &raw);

// The record for a name that GbkText::name has made fit.
QString record(const QString &name, const QString &address);

// The records, each followed by CR LF, as GBK (or as UTF-8, for a list file
// that begins with the UTF-8 byte-order mark and is read as UTF-8).
QByteArray encode(const QStringList &records, bool utf8 = false);

}
