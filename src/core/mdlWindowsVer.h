#pragma once

#include <QString>

class DesktopServices;

// The running platform's version as major, the decimal point and the minor version
// in two digits ("6.01"): the low byte of the version word is the major version,
// the high byte the minor one. The launchers are chosen by it.
QString GetWindowsVer(const DesktopServices &desktop);
QString formatPlatformVersion(quint32 version);
