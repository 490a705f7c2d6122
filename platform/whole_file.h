#pragma once
// Writes a file whole or not at all: the bytes go to a temporary file beside it, which replaces
// the old one only when every write (and the final flush to disk) succeeded. A full disk, a
// vanished folder or a bad name leaves the old file byte for byte and reports false, and a
// half-written file never carries the finished name.

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace tavrel {

class WholeFileWriter {
  public:
    explicit WholeFileWriter(const QString& name);
    void allowInPlace() { file_.setDirectWriteFallback(true); }
    ~WholeFileWriter();
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    bool open();
    // Collects bytes and hands them on in large pieces; false once any write has failed.
    bool write(const QByteArray& bytes);
    // Writes the rest, syncs and renames over the old file; false leaves the old file.
    bool commit();
    QString errorText() const { return error_; }

  private:
    bool drain();
    QSaveFile file_;
    QByteArray pending_;
    bool failed_ = false;
    bool committed_ = false;
    QString error_;
};

// The whole file in one call. With WhenFolderRefuses, a folder that takes no temporary file
// (but lets the file itself be written) gets the file rewritten in place.
enum class InPlace { Never, WhenFolderRefuses };
bool writeWholeFile(const QString& name, const QByteArray& bytes, QString* error = nullptr,
                    InPlace inPlace = InPlace::Never);

}  // namespace tavrel
