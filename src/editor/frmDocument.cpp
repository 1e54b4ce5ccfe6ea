#include "frmDocument.h"

#include "core/AppContext.h"
#include "core/AppState.h"
#include "core/Twips.h"
#include "core/mdlLastFile.h"
#include "editor/TextStyler.h"
#include "editor/mdlFileChecks.h"
#include "platform/KvError.h"
#include "platform/ProgressReporter.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>

#include <optional>

namespace {
const QString untitledCaption = QStringLiteral("(untitled)");
const QString codeFileFilter = QStringLiteral("All Files (*.*)|*.*|Tessaly (*.ty)|*.ty")
                               + QStringLiteral("|TY Output (*.txt;*.out)|*.txt;*.out");
// The user's Cancel of a load, thrown out of the reading's pieces.
struct LoadCancelled
{
};
} // namespace

frmDocument::frmDocument(AppContext &ctx, DocumentHost &host, QWidget *parent)
    : QWidget(parent)
    , m_ctx(ctx)
    , m_host(host)
    , m_text(new QsciScintilla(this))
    , m_styler(new TextStyler(m_text))
{
    setObjectName(QStringLiteral("frmDocument"));
    m_text->setObjectName(QStringLiteral("rtfText"));
    m_text->SendScintilla(QsciScintillaBase::SCI_SETCODEPAGE, QsciScintillaBase::SC_CP_UTF8);
    m_text->SendScintilla(QsciScintillaBase::SCI_SETEOLMODE, QsciScintillaBase::SC_EOL_CRLF);
    m_text->SendScintilla(QsciScintillaBase::SCI_SETPASTECONVERTENDINGS, 1);
    // Lines wrap at the window's width, at blanks (the styler sets the mode).
    m_text->SendScintilla(QsciScintillaBase::SCI_SETLAYOUTCACHE, QsciScintillaBase::SC_CACHE_PAGE);
    // Lines wrap, so there is nothing to scroll sideways.
    m_text->SendScintilla(QsciScintillaBase::SCI_SETHSCROLLBAR, 0L);
    m_text->SendScintilla(QsciScintillaBase::SCI_SETMARGINWIDTHN, 1, 0L);
    m_text->setMarginWidth(0, 0);
    m_text->setMarginWidth(1, 0);
    m_text->setUtf8(true);
    setTextFontSize(9.75);
    connect(m_text, &QsciScintilla::textChanged, this, &frmDocument::rtfText_Change);
    setFilename(QString());
}

frmDocument::~frmDocument() = default;

void frmDocument::setTextFontSize(double points)
{
    // The document has one font, in every style.
    m_styler->setFont("Courier", points);
    m_fontPoints = points;
}

void frmDocument::setFilename(const QString &newValue)
{
    m_filename = newValue;
    setWindowTitle(newValue.isEmpty() ? untitledCaption : newValue);
}

bool frmDocument::IsEmpty() const
{
    return m_text->SendScintilla(QsciScintillaBase::SCI_GETLENGTH) == 0;
}

bool frmDocument::CanCopy() const
{
    return m_text->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND)
           > m_text->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART);
}

bool frmDocument::CanPaste() const
{
    return !QApplication::clipboard()->text().isEmpty();
}

void frmDocument::Copy()
{
    QApplication::clipboard()->setText(m_text->selectedText());
}

void frmDocument::Cut()
{
    Copy();
    m_text->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "");
}

void frmDocument::Paste()
{
    const QString clip = QApplication::clipboard()->text();
    // An empty clipboard changes nothing: the selection stays.
    if (clip.isEmpty())
        return;
    const QByteArray bytes = TextFileCodec::normalizeLineEnds(clip.toUtf8(), false);
    m_text->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, bytes.constData());
}

QByteArray frmDocument::textBytes() const
{
    const long length = m_text->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    const auto *data = reinterpret_cast<const char *>(
        m_text->SendScintilla(QsciScintillaBase::SCI_GETCHARACTERPOINTER));
    return QByteArray(data, length);
}

bool frmDocument::LoadFile(const QString &newFile, ProgressReporter *progress)
try {
    using Sci = QsciScintillaBase;
    if (newFile.isEmpty())
        return true;
    QString path = resolveExistingPath(newFile);
    if (path.isEmpty())
        path = newFile;
    // Followed, the reading reports the bytes read: the checking pass counts up to
    // the file's size, the pass into the editor (or the whole read of a file to
    // decode) up to twice that.
    const qint64 size = QFileInfo(path).size();
    TextFileCodec::ReadProgress reached;
    if (progress) {
        progress->setMaximum(2 * size);
        reached = [progress](qint64 done) {
            progress->setValue(done);
            if (progress->wasCanceled())
                throw LoadCancelled();
        };
    }
    // Only a regular file of a size the program can hold is read: a pipe or a
    // device would wait or never end. A UTF-8 file with CR LF line ends (the tool
    // kit's output, and every file this program saved) goes into the editor piece
    // by piece, so it is never held twice; any other file is read whole and decoded
    // in place first. Either way the file is checked before the editor is touched.
    bool plain = false;
    std::optional<DecodedText> decoded;
    try {
        plain = TextFileCodec::isCrLfUtf8File(path, qsizetype(4) << 20, reached);
        if (!plain)
            decoded = TextFileCodec::readTextFile(
                path,
                reached ? TextFileCodec::ReadProgress([&](qint64 n) { reached(size + n); })
                        : TextFileCodec::ReadProgress());
    } catch (const LoadCancelled &) {
        return false;
    }

    // Inserting many lines into a wrapping view is slow: the text goes in unwrapped
    // and is wrapped afterwards, screen by screen. The loaded text is no edit to
    // undo: collecting it would keep a second copy.
    const long oldWrapMode = m_text->SendScintilla(Sci::SCI_GETWRAPMODE);
    const double oldFontPoints = m_fontPoints;
    const bool wasDirty = m_isDirty;
    m_text->SendScintilla(Sci::SCI_SETWRAPMODE, Sci::SC_WRAP_NONE);
    m_text->SendScintilla(Sci::SCI_SETUNDOCOLLECTION, 0L);
    m_text->SendScintilla(Sci::SCI_CLEARALL);
    // The font first, so the text is laid out once.
    setTextFontSize(12);
    // With change notifications on, the editor component would build a UTF-16 copy
    // of all it takes in for its change signal. The load is no edit anybody listens
    // for; the styler is told directly.
    const long eventMask = m_text->SendScintilla(Sci::SCI_GETMODEVENTMASK);
    m_text->SendScintilla(Sci::SCI_SETMODEVENTMASK, 0L);
    // While the progress dialog takes its events, the half-loaded text is not
    // drawn (drawing it would have the styler style what it has not been told of).
    if (progress)
        m_text->setUpdatesEnabled(false);
    const auto drawAgain = qScopeGuard([&] {
        if (progress)
            m_text->setUpdatesEnabled(true);
    });
    qsizetype inserted = 0;
    const auto append = [&](const char *bytes, qsizetype n) {
        m_text->SendScintilla(Sci::SCI_APPENDTEXT, static_cast<unsigned long>(n), bytes);
        inserted += n;
        if (reached)
            reached(std::min<qint64>(size + inserted, 2 * size));
    };
    // A load that does not end leaves no part of the file: the window gets back its
    // emptiness, font, wrapping and flag (the styler heard nothing of the text).
    const auto rollBack = [&] {
        m_text->SendScintilla(Sci::SCI_CLEARALL);
        m_text->SendScintilla(Sci::SCI_SETMODEVENTMASK, eventMask);
        m_text->SendScintilla(Sci::SCI_SETUNDOCOLLECTION, 1L);
        m_text->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
        setTextFontSize(oldFontPoints);
        m_text->SendScintilla(Sci::SCI_SETWRAPMODE, oldWrapMode);
        m_isDirty = wasDirty;
    };
    try {
        if (plain) {
            m_text->SendScintilla(Sci::SCI_ALLOCATE, static_cast<unsigned long>(size + 3));
            TextFileCodec::readCrLfUtf8InPieces(path, append);
        } else {
            m_text->SendScintilla(Sci::SCI_ALLOCATE,
                                  static_cast<unsigned long>(decoded->utf8.size() + 1));
            append(decoded->utf8.constData(), decoded->utf8.size());
        }
    } catch (const LoadCancelled &) {
        rollBack();
        return false;
    } catch (...) {
        rollBack();
        throw;
    }
    m_text->SendScintilla(Sci::SCI_SETMODEVENTMASK, eventMask);
    m_styler->textInserted(0, inserted);
    m_text->SendScintilla(Sci::SCI_SETUNDOCOLLECTION, 1L);
    m_text->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    m_text->SendScintilla(Sci::SCI_GOTOPOS, 0L);
    // Code files show in colour; the styles come when the editor asks for them.
    m_styler->setLanguage(TextStyler::languageOfFile(path));
    m_text->SendScintilla(Sci::SCI_SETWRAPMODE, static_cast<long>(TextStyler::wrapMode));
    m_encoding = plain ? TextEncoding::Utf8 : decoded->encoding;
    setFilename(path);
    m_isDirty = false;
    return true;
} catch (const std::bad_alloc &) {
    // Out of memory while the editor takes the text: this window gives up, the
    // program and its other windows go on.
    throw KvError::outOfMemory();
}

void frmDocument::SaveFile(const QString &newFile)
{
    AppState &s = m_ctx.state;
    s.CodeName = SplitFilePath(newFile, s.CodeDir);
    if (s.CodeName == QLatin1String("ok") || s.CodeName.isEmpty()
        || s.CodeName == QLatin1String("*.ty")) {
        m_host.mnuFileSaveAs_Click();
        return;
    }
    writeAnsFile();
}

void frmDocument::writeAnsFile()
{
    const AppState &s = m_ctx.state;
    const QString path = joinPath(s.CodeDir, s.CodeName);
    auto report = [&](const KvError &e) {
        m_ctx.dialogs.message(this,
                              {unexpectedErrorText(e),
                               QStringLiteral("In 'writeAnsFile' routine ..."),
                               MsgButtons::OK,
                               MsgIcon::Critical});
    };
    const QFileInfo info(path);
    // The replacement below would also replace a file the user may not write.
    if (info.exists() && (!info.isWritable() || info.isDir())) {
        report(info.isDir() ? KvError::pathFileAccess() : KvError::permissionDenied());
        return;
    }
    TextEncoding used = m_encoding;
    const QByteArray bytes = TextFileCodec::encode(textBytes(), m_encoding, &used);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        report(KvError::fromFile(file));
        return;
    }
    if (file.write(bytes) != bytes.size()) {
        const KvError e = KvError::fromFile(file);
        file.cancelWriting();
        report(e);
        return;
    }
    if (!file.commit()) {
        report(KvError::fromFile(file));
        return;
    }
    m_encoding = used;
    setFilename(path);
    // Saved under a code file's name, the text shows in colour (and plain otherwise).
    m_styler->setLanguage(TextStyler::languageOfFile(path));
    m_isDirty = false;
}

QString frmDocument::AskFilename(bool saveFlag, bool remember)
{
    AppState &s = m_ctx.state;
    m_dialog->filter = codeFileFilter;
    m_dialog->filterIndex = 2;
    m_dialog->fileName = QStringLiteral("*");
    m_dialog->promptOverwrite = true;
    std::optional<QString> chosen;
    if (saveFlag) {
        m_dialog->title = QStringLiteral("Save TY Code File");
        chosen = m_ctx.dialogs.saveFile(this, *m_dialog);
    } else {
        m_dialog->title = QStringLiteral("Open TY Code File");
        chosen = m_ctx.dialogs.openFile(this, *m_dialog);
    }
    if (!chosen || chosen->isEmpty()) {
        s.CodeName.clear();
        return {};
    }
    const QString result = *chosen;
    if (remember)
        RememberFilename(result);
    return result;
}

void frmDocument::RememberFilename(const QString &chosen)
{
    AppState &s = m_ctx.state;
    if (m_dialog->initDir != QLatin1String("A:")) {
        QString dir;
        s.CodeName = SplitFilePath(chosen, dir);
        s.CodeDir = dir.isEmpty() ? QDir::currentPath() : dir;
        try {
            SaveLastFile(m_ctx.hive, s.CodeName, s.CodeDir);
        } catch (const KvError &) {
            // The registry only remembers the file for the next start; the file the
            // user chose is still the one to open or save.
        }
        m_dialog->initDir = s.CodeDir;
    }
}

bool frmDocument::Form_QueryUnload()
{
    if (!m_isDirty)
        return true;
    const MsgAnswer answer = m_ctx.dialogs.message(
        this,
        {QStringLiteral("The text in this window has been modified.\rDo you wish to save it?"),
         windowTitle(),
         MsgButtons::YesNoCancel,
         MsgIcon::Information});
    switch (answer) {
    case MsgAnswer::No:
        setFilename(QStringLiteral("removed"));
        m_isDirty = false;
        return true;
    case MsgAnswer::Yes:
        if (m_filename.isEmpty()) {
            // The caption stays "(untitled)" until the save succeeds.
            m_filename = AskFilename(true);
            if (m_filename.isEmpty())
                return false;
        }
        SaveFile(m_filename);
        // A save that failed keeps the window open with its text.
        return !m_isDirty;
    default:
        return false;
    }
}

void frmDocument::unloadAgreed()
{
    m_closeAgreed = true;
    if (auto *sub = parentWidget(); sub && sub->inherits("QMdiSubWindow"))
        sub->close();
    else
        close();
}

void frmDocument::closeEvent(QCloseEvent *event)
{
    if (m_closeAgreed || Form_QueryUnload())
        event->accept();
    else
        event->ignore();
}

void frmDocument::Form_Resize()
{
    const int border = Twips::toPxX(100, this);
    const int borderY = Twips::toPxY(100, this);
    const int w = std::max(0, width() - 2 * border);
    const int h = std::max(0, height() - 2 * borderY);
    m_text->setGeometry(border, borderY, w, h);
    // Lines wrap 400 twips before the right edge of the text.
    m_text->SendScintilla(QsciScintillaBase::SCI_SETMARGINRIGHT,
                          static_cast<long>(Twips::toPxX(400, this)));
    setFilename(m_filename);
}

void frmDocument::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmDocument::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Form_Resize();
}

void frmDocument::rtfText_Change()
{
    m_isDirty = true;
}
