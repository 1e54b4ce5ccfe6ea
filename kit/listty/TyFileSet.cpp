#include "TyFileSet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

TyFileSet::TyFileSet(const QString &directory)
    : m_directory(directory)
{
    const QFileInfo info(directory);
    if (directory.isEmpty()) {
        m_problem = QStringLiteral("No directory was given: start List.com with the directory "
                                   "of the demo code files.");
        return;
    }
    if (!info.isDir()) {
        m_problem = QStringLiteral("The directory '%1' does not exist.").arg(directory);
        return;
    }
    QDir dir(directory);
    dir.setFilter(QDir::Files | QDir::Hidden);
    dir.setNameFilters({QStringLiteral("*.ty")}); // matches ".TY" too
    m_names = dir.entryList();
    std::sort(m_names.begin(), m_names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    if (m_names.isEmpty())
        m_problem = QStringLiteral("There are no demo code files (*.ty) in '%1'.").arg(directory);
    m_texts.resize(m_names.size());
    m_errors.resize(m_names.size());
    m_loaded.resize(m_names.size());
}

QString TyFileSet::filePath(qsizetype index) const
{
    return QDir(m_directory).filePath(m_names.at(index));
}

void TyFileSet::load(qsizetype index) const
{
    if (m_loaded.at(index))
        return;
    m_loaded[index] = true;
    QFile file(filePath(index));
    if (!file.open(QIODevice::ReadOnly)) {
        m_errors[index] = file.errorString();
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_errors[index] = file.errorString();
        return;
    }
    // UTF-8, or Windows-1252 for older files that are not valid UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError()) {
        QStringDecoder ansi("windows-1252");
        text = ansi.isValid() ? ansi(bytes) : QString::fromLatin1(bytes);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_texts[index] = text;
}

const QString &TyFileSet::text(qsizetype index) const
{
    load(index);
    return m_texts.at(index);
}

QString TyFileSet::readError(qsizetype index) const
{
    load(index);
    return m_errors.at(index);
}

TyFileSet::Match TyFileSet::find(const QString &needle, qsizetype file, qsizetype position) const
{
    const qsizetype n = count();
    if (needle.isEmpty() || n == 0)
        return {};
    file = std::clamp<qsizetype>(file, 0, n - 1);
    position = std::max<qsizetype>(0, position);

    // The starting file from the position on, then every other file in order (after the
    // last comes the first), then the starting file before the position.
    for (qsizetype step = 0; step <= n; ++step) {
        const qsizetype f = (file + step) % n;
        const QString &t = text(f);
        const bool wrapped = file + step >= n;
        if (step == 0) {
            const qsizetype at
                = t.indexOf(needle, std::min(position, t.size()), Qt::CaseInsensitive);
            if (at >= 0)
                return {f, at, false};
        } else if (step < n) {
            const qsizetype at = t.indexOf(needle, 0, Qt::CaseInsensitive);
            if (at >= 0)
                return {f, at, wrapped};
        } else {
            const qsizetype at = t.indexOf(needle, 0, Qt::CaseInsensitive);
            if (at >= 0 && at < position)
                return {f, at, true};
        }
    }
    return {};
}

std::pair<int, int> TyFileSet::lineColumn(const QString &text, qsizetype position)
{
    position = std::clamp<qsizetype>(position, 0, text.size());
    const QStringView before = QStringView(text).left(position);
    const int line = int(before.count(QLatin1Char('\n'))) + 1;
    const qsizetype lineStart = before.lastIndexOf(QLatin1Char('\n')) + 1;
    return {line, int(position - lineStart) + 1};
}
