#pragma once

#include <QString>

// The release this build is, as the programs, the reports and the workbooks name it. The number
// is the project's own (CMakeLists.txt), written nowhere else.
namespace Version {

// "1.0.0"
QString number();
// "otdr 1.0.0": the build that made a report or a workbook.
QString label();
// "otdr-sor (otdr 1.0.0)": what a program's --version prints ("otdr 1.0.0" for the window).
QString programLine(const QString &program);
// Makes Qt's --version (QCommandLineParser::addVersionOption) print programLine() of the
// application's name: Qt prints the name, then the application's version, given here as what
// follows the name in that line. On Windows a program without a console shows it in a box, as
// its help.
void setApplicationVersion();
// The text of a program's About box: its name and release, what it does, the Qt it runs on.
QString about(const QString &program, const QString &purpose);

} // namespace Version
