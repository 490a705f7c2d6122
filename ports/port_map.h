#pragma once
// Which device a COM port number means. By default port n is "COMn" on Windows and
// "/dev/ttyS{n-1}" on Linux; `--port N=DEVICE` on the command line points a number at any
// device path (a USB adapter, a pseudo-terminal) or at tcp://HOST:PORT.

#include <QMap>
#include <QString>
#include <QStringList>

namespace tavrel {

inline const QString kPortsFileName = QStringLiteral("Tavreldwn.ports");

class PortMap {
  public:
    QString deviceFor(int number) const;
    void set(int number, const QString& device) { overrides_.insert(number, device); }
    bool isEmpty() const { return overrides_.isEmpty(); }

    // Parses one "N=DEVICE" option value; returns false and sets `error` when malformed.
    bool addOption(const QString& value, QString* error);

    static QString defaultDevice(int number);

    // The mappings kept beside the settings (Tavreldwn.ports, "N=DEVICE" a line: what
    // `tavrel-cli find --save` found on a USB adapter or a device server). A missing file is
    // no mapping; a malformed line is skipped.
    void loadFile(const QString& name);
    // Writes one mapping into that file, keeping the others.
    static bool saveMapping(const QString& name, int number, const QString& device);

  private:
    QMap<int, QString> overrides_;
};

}  // namespace tavrel
