// The association of *.vdx files with the program on a freedesktop desktop.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "file_association.h"

namespace vdx {
namespace {

QString ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

TEST(FileAssociation, MimeTypeNamesTheExtensionAndTheDescription) {
    const QString xml = MimeTypeXml();
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.vdx\"/>"));
    EXPECT_TRUE(xml.contains("<comment>VELDRIX File</comment>"));
    EXPECT_TRUE(xml.contains("type=\"application/x-vdxfile\""));
}

TEST(FileAssociation, DesktopEntryOpensTheFileWithTheProgram) {
    const QString entry = DesktopEntry("/opt/veldrix/bin");
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nExec=\"/opt/veldrix/bin/veldrix\" %f\n")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nMimeType=application/x-vdxfile;\n"));
}

TEST(FileAssociation, ProgramPathsWithSpecialCharactersAreQuoted) {
    // ", ` and $ get a backslash, which the desktop file itself doubles.
    const QString entry = DesktopEntry("/home/a b/$x\"y");
    EXPECT_TRUE(entry.contains("Exec=\"/home/a b/\\\\$x\\\\\"y/veldrix\" %f")) << entry.toStdString();
}

TEST(FileAssociation, WritesBothFilesIntoTheUsersDataFolder) {
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    ASSERT_TRUE(WriteFileAssociation("/opt/veldrix/bin"));
    const FileAssociationFiles files = FileAssociationPaths(data.path());
    EXPECT_EQ(ReadAll(files.mimeFile), MimeTypeXml());
    EXPECT_EQ(ReadAll(files.desktopFile), DesktopEntry("/opt/veldrix/bin"));
    // A second start with the program elsewhere rewrites the entry.
    ASSERT_TRUE(WriteFileAssociation("/srv/veldrix"));
    EXPECT_EQ(ReadAll(files.desktopFile), DesktopEntry("/srv/veldrix"));
}

TEST(FileAssociation, AnUnwritableFolderIsReportedNotFatal) {
    QTemporaryDir data;
    // A file where the folder "mime" should be: nothing can be written there.
    QFile blocker(data.filePath("mime"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    EXPECT_FALSE(WriteFileAssociation("/opt/veldrix/bin"));
    // The desktop entry, in its own folder, is still written.
    EXPECT_TRUE(QFileInfo::exists(FileAssociationPaths(data.path()).desktopFile));
}

}  // namespace
}  // namespace vdx
