#include "status_page.h"

#include "local_text.h"

namespace tavrel::archive {

namespace {

QString when(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("never");
}

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

QString seconds(const MeterStatus& m) { return QString::number(m.seconds, 'f', 3); }

// What the office should know besides the result: the clock, another instrument.
QString notes(const MeterStatus& m) {
    QStringList out;
    if (!m.clockNote.isEmpty()) out << m.clockNote;
    if (!m.seriesNote.isEmpty()) out << m.seriesNote;
    return out.join(QStringLiteral("; "));
}

}  // namespace

QString resultText(const MeterStatus& m) {
    return m.lastResult == QStringLiteral("failed")
               ? m.lastResult + QStringLiteral(": ") + m.lastCause
               : m.lastResult;
}

QByteArray statusPage(const QList<MeterStatus>& meters, const QDate& today, int nights) {
    // Numbers and dates stay on one line; the cause of a failure and the notes take a line of
    // their own under the meter's row, across the table, wrapping as they need: the page never
    // scrolls sideways and the reason of a red row stays in view at any width.
    QString html =
        QStringLiteral(
            "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width\">"
            "<title>Meters: status of %1</title><style>\n"
            "body{font-family:sans-serif;margin:16px;color:#222}"
            "table{border-collapse:collapse}th,td{border-bottom:1px solid #ddd;"
            "padding:4px 6px;text-align:left;vertical-align:top}th{font-size:90%}"
            "td.n,td.t{white-space:nowrap}td.n{text-align:right}"
            "td.w{overflow-wrap:anywhere;min-width:8em}"
            "tr.why td{padding-top:0;font-size:90%}tr.main:has(+tr.why) "
            "td{border-bottom:none}span.cause{color:#b00}"
            ".strip{display:flex;gap:1px}.strip span{display:inline-block;width:6px;height:18px}"
            ".ok{background:#2e9d4f}.empty{background:#e0b030}.failed{background:#d63b30}"
            ".none{background:#e6e6e6}tr.bad td.name{color:#b00;font-weight:bold}"
            "span.note{color:#8a5a00}"
            "</style></head><body>\n<h1>Meters on %1</h1>\n<p>Worst first. Each strip: the last "
            "%2 nights, oldest left: <span class=\"ok\">&nbsp;&nbsp;</span> collected, "
            "<span class=\"empty\">&nbsp;&nbsp;</span> empty log, <span class=\"failed\">"
            "&nbsp;&nbsp;</span> failed, <span class=\"none\">&nbsp;&nbsp;</span> no visit.</p>\n"
            "<table>\n<tr><th>meter</th><th>last nights</th><th>last good visit</th><th>nights "
            "failed</th><th>new records</th><th>bytes</th><th>seconds</th><th>gaps</th>"
            "<th>conflicts</th></tr>\n")
            .arg(today.toString(Qt::ISODate))
            .arg(nights);
    for (const MeterStatus& m : meters) {
        QString strip;
        for (const QString& n : m.nights)
            strip += QStringLiteral("<span class=\"%1\"></span>")
                         .arg(n.isEmpty() ? QStringLiteral("none") : n);
        html += QStringLiteral(
                    "<tr class=\"main %1\"><td class=\"name w\">%2</td><td><div "
                    "class=\"strip\">%3</div></td><td class=\"t\">%4</td><td class=\"n\">%5</td>"
                    "<td class=\"n\">%6</td><td class=\"n\">%7</td><td class=\"n\">"
                    "%8</td><td class=\"n\">%9</td>")
                    .arg(m.lastResult == QStringLiteral("failed") ? QStringLiteral("bad")
                                                                  : QStringLiteral("good"),
                         escaped(m.name), strip, when(m.lastGood), QString::number(m.roundsFailed),
                         QString::number(m.recordsNew), QString::number(m.wireBytes), seconds(m),
                         QString::number(m.gaps));
        html += QStringLiteral("<td class=\"n\">%1</td></tr>\n").arg(m.conflicts);
        const QString cause = m.lastResult == QStringLiteral("failed") ? m.lastCause : QString();
        if (!cause.isEmpty() || !notes(m).isEmpty()) {
            html += QStringLiteral("<tr class=\"why\"><td></td><td colspan=\"8\" class=\"w\">");
            if (!cause.isEmpty())
                html += QStringLiteral("<span class=\"cause\">%1</span>").arg(escaped(cause));
            if (!cause.isEmpty() && !notes(m).isEmpty()) html += QStringLiteral(" &middot; ");
            if (!notes(m).isEmpty())
                html += QStringLiteral("<span class=\"note\">%1</span>").arg(escaped(notes(m)));
            html += QStringLiteral("</td></tr>\n");
        }
    }
    html += QStringLiteral("</table>\n</body></html>\n");
    return html.toUtf8();
}

QStringList statusTable(const QList<MeterStatus>& meters) {
    qsizetype nameWidth = 5;
    for (const MeterStatus& m : meters) nameWidth = std::max(nameWidth, displayWidth(m.name));
    const auto line = [&](const QString& name, const QString& good, const QStringList& numbers,
                          const QString& result) {
        static const int widths[] = {6, 8, 9, 9, 5, 9};
        QString text = padded(name, nameWidth) + u' ' + padded(good, 16);
        for (qsizetype i = 0; i < numbers.size(); ++i)
            text += u' ' + padded(numbers[i], widths[i], true);
        return (text + QStringLiteral("  ") + result).trimmed();
    };
    QStringList out{
        line(QStringLiteral("meter"), QStringLiteral("last good visit"),
             {QStringLiteral("failed"), QStringLiteral("new"), QStringLiteral("bytes"),
              QStringLiteral("seconds"), QStringLiteral("gaps"), QStringLiteral("conflicts")},
             QStringLiteral("last result"))};
    for (const MeterStatus& m : meters) {
        QString result = resultText(m);
        if (!notes(m).isEmpty()) result += QStringLiteral(" (") + notes(m) + u')';
        out << line(m.name, when(m.lastGood),
                    {QString::number(m.roundsFailed), QString::number(m.recordsNew),
                     QString::number(m.wireBytes), seconds(m), QString::number(m.gaps),
                     QString::number(m.conflicts)},
                    result);
    }
    return out;
}

}  // namespace tavrel::archive
