#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/resource.h>

// Writes an answer file of about the given size: a table of solved variables, line
// after line, the same as bench_open's. The tail is appended after the table.
inline bool writeAnswerFile(const QString &path, int megabytes, const QByteArray &tail = {})
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray line;
    qint64 written = 0;
    for (qint64 i = 0; written < qint64(megabytes) * 1024 * 1024; ++i) {
        line = QByteArray::number(i) + "  t= " + QByteArray::number(i * 0.001, 'f', 4)
               + "  T(1)= " + QByteArray::number(100.0 / (1 + i % 977), 'e', 8)
               + "  T(2)= " + QByteArray::number(3.5 * (i % 313), 'e', 8) + "\r\n";
        f.write(line);
        written += line.size();
    }
    f.write(tail);
    return f.error() == QFileDevice::NoError;
}

inline long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}
