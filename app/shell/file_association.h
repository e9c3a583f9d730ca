// The association of project files (*.vdx, "VELDRIX File") with this program
// on a freedesktop desktop: a MIME type in <data>/mime/packages and a desktop
// entry in <data>/applications, <data> being the user's data folder
// ($XDG_DATA_HOME, usually ~/.local/share). Written at every start; failures
// are ignored, the program works without it.
#pragma once

#include <QString>

namespace vdx {

inline const QString kProjectMimeType = QStringLiteral("application/x-vdxfile");

struct FileAssociationFiles {
    QString mimeFile;     // <data>/mime/packages/veldrix-vdxfile.xml
    QString desktopFile;  // <data>/applications/veldrix.desktop
};

// Where the two files go for the given data folder.
FileAssociationFiles FileAssociationPaths(const QString& dataFolder);

// The texts of the two files. appPath is the program's directory.
QString MimeTypeXml();
QString DesktopEntry(const QString& appPath);

// Writes both files into the user's data folder and asks the desktop to
// refresh its caches when the MIME type is new. Returns false when a file
// could not be written (callers ignore it).
bool WriteFileAssociation(const QString& appPath);

}  // namespace vdx
