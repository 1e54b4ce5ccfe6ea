// List.com: the tool kit's viewer of the demo code files, with find across them.
// One argument: the directory of the demo code files.
#include "ListWindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("List"));

    // A directory with blanks arrives whole when quoted; unquoted pieces are joined.
    QString directory = QApplication::arguments().mid(1).join(QLatin1Char(' '));
    while (directory.size() > 1
           && (directory.endsWith(QLatin1Char('/')) || directory.endsWith(QLatin1Char('\\'))))
        directory.chop(1);

    ListWindow window(directory);
    if (qEnvironmentVariable("KELVARA_WINDOW")
            .compare(QLatin1String("maximized"), Qt::CaseInsensitive)
        == 0)
        window.showMaximized();
    else
        window.show();
    return app.exec();
}
