#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>

// Writes a solver's iteration log of about megabytes MB: lines of 80 characters
// (numbers and blanks, as a solver prints them), each ended by CR LF. False when
// the file cannot be written.
inline bool writeSolverLog(const QString &path, int megabytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const qint64 target = qint64(megabytes) * 1024 * 1024;
    QByteArray block;
    char line[128];
    for (qint64 i = 0, written = 0; written < target; ++i) {
        const double t = i * 1e-3;
        std::snprintf(line,
                      sizeof line,
                      "iter %7lld t= %12.6e f= %14.7e |grad|= %9.3e step= %9.3e",
                      static_cast<long long>(i),
                      t,
                      100.0 / (1.0 + i % 977) - 3.5 * (i % 313),
                      1.0 / (1.0 + i % 4099),
                      0.5 / (1.0 + i % 17));
        block.append(line, 80);
        block.append("\r\n");
        if (block.size() > (1 << 20)) {
            if (f.write(block) != block.size())
                return false;
            written += block.size();
            block.clear();
        }
    }
    return f.write(block) == block.size() && f.flush();
}
