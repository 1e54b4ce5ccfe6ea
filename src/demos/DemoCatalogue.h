#pragma once

#include <QList>
#include <QString>

// The fixed catalogue of demonstration files: 37 rows on five tabs. The sample
// tool kit names its demo files, answers and plots after these rows and the
// catalogue window shows them, so both read this one table.
struct DemoRow
{
    int tab;          // 0 IVP, 1 BVP, 2 inverse problems, 3 solvers, 4 templates
    QString filename; // without extension
    QString description;
    QString levels;
    QString solver; // one name, two joined by "/", empty or a guide title
};

namespace DemoCatalogue {

// Every row, tab by tab (0 to 4), each tab in the order its rows are added.
const QList<DemoRow> &rows();

// The two guides are plain-text files; every other row names a code file.
bool isGuide(const QString &filename);
// "Heat-ivp" -> "Heat-ivp.ty", "^FIND-stmt" -> "^FIND-stmt.txt".
QString fileNameOf(const QString &filename);

// The distinct files of the demo directory: 33 code files and 2 guides.
QStringList distinctFileNames();

} // namespace DemoCatalogue
