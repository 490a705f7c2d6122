#pragma once
// `tavrel-cli status`: the morning's look at a fleet's archive: per meter the last good visit,
// nights failed in a row, what the last visit brought, gaps and conflicts; with --html a page
// of its own with a strip of the last nights per meter, worst first.

#include <QCommandLineParser>

namespace tavrel::cli {

void addStatusOptions(QCommandLineParser& parser);
// 0 when every meter's last visit succeeded, 2 otherwise (a monitor alerts on it), 3 the page
// could not be written, 64 usage.
int runStatusCommand(const QCommandLineParser& parser);

}  // namespace tavrel::cli
