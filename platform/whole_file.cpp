#include "whole_file.h"

namespace tavrel {

namespace {
constexpr qsizetype kPiece = qsizetype{64} * 1024;
}

WholeFileWriter::WholeFileWriter(const QString& name) : file_(name) {}

WholeFileWriter::~WholeFileWriter() {
    if (file_.isOpen() && !committed_) file_.cancelWriting();
}

bool WholeFileWriter::open() {
    // Unbuffered: QSaveFile notices a failed write only when it happens in its own write call;
    // with Qt's buffer the failure would surface at the flush inside commit and go unseen.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        error_ = file_.errorString();
        failed_ = true;
        return false;
    }
    return true;
}

bool WholeFileWriter::drain() {
    if (failed_) return false;
    if (pending_.isEmpty()) return true;
    if (file_.write(pending_) != pending_.size() || file_.error() != QFileDevice::NoError) {
        error_ = file_.errorString();
        failed_ = true;
        return false;
    }
    pending_.clear();
    return true;
}

bool WholeFileWriter::write(const QByteArray& bytes) {
    if (failed_ || !file_.isOpen()) return false;
    pending_.append(bytes);
    return pending_.size() < kPiece || drain();
}

bool WholeFileWriter::commit() {
    if (!file_.isOpen()) return false;
    if (!drain()) {
        file_.cancelWriting();
        file_.commit();  // ends the cancelled save: removes the temporary file
        return false;
    }
    committed_ = true;
    if (!file_.commit()) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

bool writeWholeFile(const QString& name, const QByteArray& bytes, QString* error, InPlace inPlace) {
    WholeFileWriter writer(name);
    if (inPlace == InPlace::WhenFolderRefuses) writer.allowInPlace();
    const bool ok = writer.open() && writer.write(bytes) && writer.commit();
    if (!ok && error != nullptr) *error = writer.errorText();
    return ok;
}

}  // namespace tavrel
