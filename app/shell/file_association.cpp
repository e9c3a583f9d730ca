#include "file_association.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace vdx {

namespace {

// Quotes an argument of a desktop entry's Exec line (the freedesktop rules:
// double quotes, with ", `, $ and \ escaped by a backslash).
QString QuoteExecArgument(const QString& arg) {
    QString out = "\"";
    for (QChar c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    // Inside a desktop file value, a backslash itself is escaped once more.
    out.replace("\\", "\\\\");
    return out;
}

// Writes text to path unless it already holds it; true when the file holds it.
bool WriteIfChanged(const QString& path, const QString& text, bool* changed) {
    const QByteArray bytes = text.toUtf8();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes) {
        *changed = false;
        return true;
    }
    existing.close();
    *changed = true;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return out.write(bytes) == bytes.size();
}

}  // namespace

FileAssociationFiles FileAssociationPaths(const QString& dataFolder) {
    return {dataFolder + "/mime/packages/veldrix-vdxfile.xml",
            dataFolder + "/applications/veldrix.desktop"};
}

QString MimeTypeXml() {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"%1\">\n"
               "    <comment>VELDRIX File</comment>\n"
               "    <glob pattern=\"*.vdx\"/>\n"
               "  </mime-type>\n"
               "</mime-info>\n")
        .arg(kProjectMimeType);
}

QString DesktopEntry(const QString& appPath) {
    const QString program = QDir(appPath).filePath("veldrix");
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=VELDRIX\n"
               "Comment=Person-years and mortality analysis of cohort studies\n"
               "Exec=%1 %f\n"
               "MimeType=%2;\n"
               "Categories=Science;Education;\n"
               "Terminal=false\n")
        .arg(QuoteExecArgument(program), kProjectMimeType);
}

bool WriteFileAssociation(const QString& appPath) {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) return false;
    const FileAssociationFiles files = FileAssociationPaths(data);
    bool mimeChanged = false, desktopChanged = false;
    const bool mimeOk = WriteIfChanged(files.mimeFile, MimeTypeXml(), &mimeChanged);
    const bool desktopOk = WriteIfChanged(files.desktopFile, DesktopEntry(appPath), &desktopChanged);
    // The desktop reads MIME types from a cache; refresh it only when the type
    // is new, and never wait for it.
    if (mimeOk && mimeChanged)
        QProcess::startDetached("update-mime-database", {data + "/mime"});
    if (desktopOk && desktopChanged)
        QProcess::startDetached("update-desktop-database", {data + "/applications"});
    return mimeOk && desktopOk;
}

}  // namespace vdx
