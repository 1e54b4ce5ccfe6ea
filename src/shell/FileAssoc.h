#pragma once

#include <QString>

struct AppContext;

// The desktop's knowledge of the program's two file types, code files (".ty") and
// answer files (".out"), both opened by the desktop's plain-text editor.
//
// The class root keeps what the program registered: the per-user class root of
// the program's registry ("Software\Classes" below HKEY_CURRENT_USER, the
// per-user part of HKEY_CLASSES_ROOT). The desktop itself learns a type from a
// shared-MIME-info package in the user's data directory
// (<data>/mime/packages/kelvara-<extension>.xml), a sub-class of text/plain, and
// update-mime-database is run when it is installed. Nothing needs root.
namespace FileAssoc {

// The registry root the program's class entries live below.
inline QString classesRoot()
{
    return QStringLiteral("HKEY_CLASSES_ROOT");
}

// The MIME type the desktop gets for an extension ("TY" -> "text/x-kelvara-ty").
QString mimeTypeOf(const QString &extension);
// The package file that declares it.
QString mimePackagePath(const QString &extension);

} // namespace FileAssoc

// Registers the extension (without the dot): "." + extension names the class,
// the class holds the description, its DefaultIcon the icon (when one is given),
// and its open command the program in the directory. The desktop is told through
// the MIME package. Failures are ignored: the next first start tries again.
void RegisterFileType(AppContext &ctx,
                      const QString &extension,
                      const QString &directory,
                      const QString &programName,
                      const QString &description,
                      const QString &iconPath);

// The class registered for the extension, or the MIME type the desktop already
// knows it by; empty when it has neither.
QString GetAssociation(AppContext &ctx, const QString &extension);

// The default value (empty value name) or the named string value of root\keyPath,
// or defaultValue when there is none.
QString ReadRegString(AppContext &ctx,
                      const QString &root,
                      const QString &keyPath,
                      const QString &valueName,
                      const QString &defaultValue);
// Creates root\keyPath\subKey (root\keyPath when subKey is empty) and sets its
// default value; 0 on success, 1 when the key could not be created or written.
int WriteRegString(AppContext &ctx,
                   const QString &root,
                   const QString &keyPath,
                   const QString &subKey,
                   const QString &value);
