#include "FileAssoc.h"

#include "core/AppContext.h"
#include "platform/DesktopServices.h"
#include "platform/RegistryHive.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamWriter>

namespace {

// Where a root's keys live in the per-user hive: the class root is its
// "Software\Classes" key, the current user's root the hive itself.
QString hiveKey(const QString &root, const QString &keyPath)
{
    QString prefix;
    if (root.compare(FileAssoc::classesRoot(), Qt::CaseInsensitive) == 0)
        prefix = QStringLiteral("Software\\Classes");
    if (keyPath.isEmpty())
        return prefix;
    return prefix.isEmpty() ? keyPath : prefix + u'\\' + keyPath;
}

QString dataDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

bool writeMimePackage(const QString &extension, const QString &description, const QString &icon)
{
    const QString path = FileAssoc::mimePackagePath(extension);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("mime-info"));
    xml.writeDefaultNamespace(
        QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info"));
    xml.writeStartElement(QStringLiteral("mime-type"));
    xml.writeAttribute(QStringLiteral("type"), FileAssoc::mimeTypeOf(extension));
    xml.writeTextElement(QStringLiteral("comment"), description);
    // The plain-text editor opens it.
    xml.writeEmptyElement(QStringLiteral("sub-class-of"));
    xml.writeAttribute(QStringLiteral("type"), QStringLiteral("text/plain"));
    if (!icon.isEmpty()) {
        xml.writeEmptyElement(QStringLiteral("icon"));
        xml.writeAttribute(QStringLiteral("name"), QFileInfo(icon).completeBaseName());
    }
    xml.writeEmptyElement(QStringLiteral("glob"));
    xml.writeAttribute(QStringLiteral("pattern"), QStringLiteral("*.") + extension.toLower());
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return !xml.hasError() && file.commit();
}

} // namespace

namespace FileAssoc {

QString mimeTypeOf(const QString &extension)
{
    return QStringLiteral("text/x-kelvara-") + extension.toLower();
}

QString mimePackagePath(const QString &extension)
{
    return dataDir() + QStringLiteral("/mime/packages/kelvara-") + extension.toLower()
           + QStringLiteral(".xml");
}

} // namespace FileAssoc

QString ReadRegString(AppContext &ctx,
                      const QString &root,
                      const QString &keyPath,
                      const QString &valueName,
                      const QString &defaultValue)
{
    const std::optional<RegValue> v = ctx.hive.value(hiveKey(root, keyPath), valueName);
    if (!v || v->type != RegValue::String)
        return defaultValue;
    const QString text = v->text.trimmed();
    return text.isEmpty() ? defaultValue : text;
}

int WriteRegString(AppContext &ctx,
                   const QString &root,
                   const QString &keyPath,
                   const QString &subKey,
                   const QString &value)
{
    const QString key
        = subKey.isEmpty() ? hiveKey(root, keyPath) : hiveKey(root, keyPath) + u'\\' + subKey;
    if (!ctx.hive.createKey(key))
        return 1;
    return ctx.hive.setValue(key, QString(), RegValue::string(value)) ? 0 : 1;
}

void RegisterFileType(AppContext &ctx,
                      const QString &extension,
                      const QString &directory,
                      const QString &programName,
                      const QString &description,
                      const QString &iconPath)
{
    const QString root = FileAssoc::classesRoot();
    QString dir = directory;
    if (!dir.endsWith(u'\\'))
        dir += u'\\';
    // Each step's failure is ignored; the next one is tried all the same.
    WriteRegString(ctx, root, QString(), u'.' + extension, programName);
    WriteRegString(ctx, root, QString(), programName, description);
    if (!iconPath.isEmpty())
        WriteRegString(ctx, root, programName, QStringLiteral("DefaultIcon"), iconPath + u",0");
    WriteRegString(ctx,
                   root,
                   programName,
                   QStringLiteral("shell\\open\\command"),
                   u'"' + dir + programName + QStringLiteral("\" %1"));

    // The desktop's own record of the type.
    if (!writeMimePackage(extension, description, iconPath))
        return;
    const QString update = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (!update.isEmpty())
        ctx.desktop.startProgram(
            {update, {dataDir() + QStringLiteral("/mime")}, WindowStyle::Hidden});
}

QString GetAssociation(AppContext &ctx, const QString &extension)
{
    const QString registered
        = ReadRegString(ctx, FileAssoc::classesRoot(), u'.' + extension, QString(), QString());
    if (!registered.isEmpty())
        return registered;
    // A type the desktop already knows for the extension belongs to another
    // program; it is left as it is.
    const QMimeDatabase db;
    const QList<QMimeType> types
        = db.mimeTypesForFileName(QStringLiteral("x.") + extension.toLower());
    for (const QMimeType &type : types)
        if (type.isValid() && !type.isDefault())
            return type.name();
    return QString();
}
