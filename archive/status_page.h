#pragma once
// The fleet's standing as the office reads it in the morning: a page of its own (no script, no
// font or style from the network) and the same as a table for a terminal.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include "archive.h"

namespace tavrel::archive {

QByteArray statusPage(const QList<MeterStatus>& meters, const QDate& today, int nights);
// One line a meter under a heading, names of any script in aligned columns.
QStringList statusTable(const QList<MeterStatus>& meters);
// How a visit ended as the status tells it: the result, with its cause when it failed.
QString resultText(const MeterStatus& m);

}  // namespace tavrel::archive
