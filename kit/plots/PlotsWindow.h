#pragma once

#include "PlotSource.h"

#include <QMainWindow>

class PlotCanvas;
class QAction;
class QLabel;
class QListWidget;

// The plot viewer's window: on a directory, the list of its plots beside the chosen
// one; on one plot, that plot alone. The status line shows the program's hand-off.
class PlotsWindow : public QMainWindow
{
    Q_OBJECT

public:
    PlotsWindow(const ViewerStart &start, const HandOff &handOff, QWidget *parent = nullptr);

    PlotCanvas *canvas() const { return m_canvas; }
    QListWidget *plotList() const { return m_list; }
    QString directory() const { return m_directory; }

    // Writes what the canvas shows as a PNG file; false with the reason when it cannot.
    bool savePng(const QString &path, QString *error) const;

    void mnuSavePng_Click();

private:
    void showFile(const QString &path);
    void showEntry(int row);
    void updateTitle();

    PlotCanvas *m_canvas = nullptr;
    QListWidget *m_list = nullptr;
    QLabel *m_status = nullptr;
    QAction *m_savePng = nullptr;
    QString m_directory;
};
