#include "PlotsWindow.h"

#include "PlotCanvas.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>

PlotsWindow::PlotsWindow(const ViewerStart &start, const HandOff &handOff, QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("PlotsWindow"));
    m_canvas = new PlotCanvas(this);

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    m_savePng = file->addAction(QStringLiteral("&Save as PNG..."));
    m_savePng->setObjectName(QStringLiteral("mnuSavePng"));
    m_savePng->setShortcut(QKeySequence::Save);
    connect(m_savePng, &QAction::triggered, this, &PlotsWindow::mnuSavePng_Click);
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("mnuExit"));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("handOffStatus"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(m_status, 1);

    switch (start.mode) {
    case ViewerStart::Message:
        m_canvas->showMessage(start.message);
        m_status->setText(handOff.statusText());
        setCentralWidget(m_canvas);
        break;
    case ViewerStart::SinglePlot:
        setCentralWidget(m_canvas);
        m_status->setText(handOff.statusText());
        showFile(start.path);
        break;
    case ViewerStart::Directory: {
        m_directory = start.path;
        auto *splitter = new QSplitter(this);
        m_list = new QListWidget(splitter);
        m_list->setObjectName(QStringLiteral("plotList"));
        splitter->addWidget(m_list);
        splitter->addWidget(m_canvas);
        splitter->setStretchFactor(1, 1);
        splitter->setSizes({220, 800});
        setCentralWidget(splitter);
        const QFileInfo dirInfo(m_directory);
        if (!dirInfo.isDir()) {
            m_canvas->showMessage(
                QStringLiteral("The directory '%1' does not exist.").arg(m_directory));
        } else {
            const QStringList names = plotFilesIn(m_directory);
            m_list->addItems(names);
            m_status->setText(QStringLiteral("%1 plot file%2 in %3")
                                  .arg(QString::number(names.size()),
                                       names.size() == 1 ? QString() : QStringLiteral("s"),
                                       QDir::toNativeSeparators(m_directory)));
            if (names.isEmpty()) {
                m_canvas->showMessage(
                    QStringLiteral("There are no plots (.plt or .gif files) in '%1'.")
                        .arg(m_directory));
            }
        }
        connect(m_list, &QListWidget::currentRowChanged, this, &PlotsWindow::showEntry);
        if (m_list->count() > 0)
            m_list->setCurrentRow(0);
        m_list->setFocus();
        break;
    }
    }
    updateTitle();
    resize(1000, 720);
}

void PlotsWindow::showEntry(int row)
{
    if (row < 0 || row >= m_list->count())
        return;
    showFile(QDir(m_directory).filePath(m_list->item(row)->text()));
}

void PlotsWindow::showFile(const QString &path)
{
    m_canvas->setPlot(loadPlotFile(path));
    updateTitle();
}

void PlotsWindow::updateTitle()
{
    const LoadedPlot &plot = m_canvas->current();
    const bool shown = plot.kind == LoadedPlot::Plot || plot.kind == LoadedPlot::Picture;
    m_savePng->setEnabled(shown);
    if (plot.path.isEmpty())
        setWindowTitle(QStringLiteral("Plots"));
    else
        setWindowTitle(QFileInfo(plot.path).fileName() + QStringLiteral(" - Plots"));
}

bool PlotsWindow::savePng(const QString &path, QString *error) const
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QImage image = m_canvas->imageToSave();
    if (image.isNull())
        return fail(QStringLiteral("There is no plot to save."));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        return fail(QStringLiteral("The picture could not be saved as '%1': %2")
                        .arg(path, file.errorString()));
    }
    return true;
}

void PlotsWindow::mnuSavePng_Click()
{
    const LoadedPlot &plot = m_canvas->current();
    if (plot.kind != LoadedPlot::Plot && plot.kind != LoadedPlot::Picture)
        return;
    // Beside the plot when that directory takes new files (the installed answers may
    // not), otherwise in the user's pictures.
    const QFileInfo info(plot.path);
    QString dir = info.absolutePath();
    if (!QFileInfo(dir).isWritable())
        dir = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::homePath();
    QString path = QFileDialog::getSaveFileName(
        this,
        QStringLiteral("Save as PNG"),
        QDir(dir).filePath(info.completeBaseName() + QStringLiteral(".png")),
        QStringLiteral("PNG pictures (*.png)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    QString error;
    if (!savePng(path, &error))
        QMessageBox::warning(this, QStringLiteral("Save as PNG"), error);
    else
        statusBar()->showMessage(QStringLiteral("Saved %1").arg(path), 5000);
}
