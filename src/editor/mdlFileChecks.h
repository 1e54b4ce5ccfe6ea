#pragma once

#include <QString>

struct AppContext;

// File and directory checks and path helpers that every part of the program uses.
// Paths use "/". Look-ups first try the exact path and, when it does not exist,
// match each component without regard to case; an exact match always wins.

// True when path names an existing directory. On the floppy drive, talks to the
// user when the drive is not ready or missing.
bool dirExists(AppContext &ctx, const QString &path);
// True when path names an existing plain file: not a directory, not hidden (a name
// starting with "."). Wildcards (* and ?) in the file name are honoured.
bool FileExists(AppContext &ctx, const QString &path);
// The file-name part; dir receives the part before the last "/" (the current
// directory when path has none).
QString SplitFilePath(const QString &path, QString &dir);
// The canonical absolute path of an existing file or directory, keeping its case as
// on disk; empty when it does not exist.
QString ShortLowerPath(const QString &path);
// Copies source to destination (a file, or a directory to copy into). Source and an
// existing destination are first resolved with ShortLowerPath. The copy replaces the
// destination atomically; a failure is reported to the user. Returns success.
bool DosCopy(AppContext &ctx, QString &source, QString &destination);

// The path as it exists on disk: the exact path, or the one whose components match
// without regard to case; empty when neither exists.
QString resolveExistingPath(const QString &path);
// dir + "/" + name without doubling the separator.
QString joinPath(const QString &dir, const QString &name);
