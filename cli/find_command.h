#pragma once
// `tavrel-cli find`: which port, which speed, which slave ID the instrument answers on.

#include <QCommandLineParser>

namespace tavrel::cli {

void addFindOptions(QCommandLineParser& parser);
// 0 a meter found, 1 none, 130 interrupted (what was found so far is printed), 64 usage.
int runFindCommand(const QCommandLineParser& parser);

}  // namespace tavrel::cli
