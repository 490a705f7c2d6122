#pragma once
// The meters a collect round visits: read from a meters file, or made from the phone book of a
// settings file (every entry with a number, dialed through the configured port).
//
// Meters file: one meter a line, blank lines and lines starting with '#' ignored:
//   NAME  WHERE  [baud=B] [slave=ID] [dial=NUMBER]
// WHERE is a serial device (/dev/ttyUSB0, COM3) or tcp://HOST:PORT of a device server; with
// dial=NUMBER the meter is reached through the modem on WHERE. NAME is any text: in double
// quotes when it holds blanks or starts with a quote ("FT-101/A \"old\"", with \" and \\ inside).
// It is the meter's name in the archive and on the status page as written; its folder is
// meterFolder(NAME).

#include <QByteArray>
#include <QList>
#include <QString>

namespace tavrel::collect {

struct Meter {
    QString name;
    QString where;  // device path or tcp://HOST:PORT
    QString baud = QStringLiteral("38400");
    int slave = 1;
    QString phone;  // empty: wired to WHERE directly
};

// Meters whose keys are equal share one line (a serial port, a modem or one device-server
// port) and are never visited at the same time. Links to a device are resolved, so two names of
// one adapter are one line.
QString lineKey(const QString& where);

// Parses a meters file; on a fault returns false with `error` naming FILE:LINE and the fault.
bool parseMeters(const QByteArray& text, const QString& fileName, QList<Meter>* meters,
                 QString* error);

// The phone book of the settings file `fileName`: one meter per entry with a phone number,
// dialed through `where` at the file's baud rate and slave ID (`where` empty: the file's COM
// port). Names come from the descriptions, made fit for a folder name and unique.
QList<Meter> metersFromBook(const QString& fileName, const QString& where);

// The folder (and file) name of a meter: letters of any script, digits, '-', '_' and '.' as
// they are; every other character, a leading or trailing '.' and '%' itself as %XX of its UTF-8
// bytes ("FT-101/A" -> "FT-101%2FA"), so two names never share a folder and none leaves it.
QString meterFolder(const QString& name);

}  // namespace tavrel::collect
