#include "mdlWindowsVer.h"

#include "platform/DesktopServices.h"

QString formatPlatformVersion(quint32 version)
{
    const quint32 word = version & 0xffff;
    const double value = (word & 0xff) + ((word >> 8) & 0xff) / 100.0;
    return QString::number(value, 'f', 2);
}

QString GetWindowsVer(const DesktopServices &desktop)
{
    return formatPlatformVersion(desktop.platformVersion());
}
