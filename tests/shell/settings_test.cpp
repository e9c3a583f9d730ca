// The settings store: case-insensitive keys, defaults of an empty store, the
// values Exit writes and the next start reads.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "settings_store.h"

namespace vdx {
namespace {

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file() const { return dir.filePath("VELDRIX.ini"); }
};

TEST_F(SettingsTest, EmptyStoreGivesTheDefaults) {
    SettingsStore store(file());
    const WindowSettings w = ReadWindowSettings(store, "/opt/veldrix/bin");
    EXPECT_EQ(w.left, 1000);
    EXPECT_EQ(w.top, 1000);
    EXPECT_EQ(w.width, 6500);
    EXPECT_EQ(w.height, 6500);
    EXPECT_FALSE(w.sizeStored);  // the window takes most of the screen
    EXPECT_EQ(w.navigatorWidth, 200);
    EXPECT_EQ(w.appPath, "/opt/veldrix/bin");
    EXPECT_EQ(ReadSmrNullValue(store), 100);
}

TEST_F(SettingsTest, KeysAreFoundWhateverTheirLetterCase) {
    {
        QSettings raw(file(), QSettings::IniFormat);
        raw.setValue("Settings/mainleft", "1500");
        raw.setValue("Settings/MAINTOP", "3000");
        raw.setValue("Settings/XLEFT", "333");
        raw.setValue("SMR/nullvalue", "1");
    }
    SettingsStore store(file());
    const WindowSettings w = ReadWindowSettings(store, "/x");
    EXPECT_EQ(w.left, 1500);
    EXPECT_EQ(w.top, 3000);
    EXPECT_EQ(w.width, 6500);
    EXPECT_EQ(w.navigatorWidth, 333);
    EXPECT_EQ(ReadSmrNullValue(store), 1);
}

TEST_F(SettingsTest, WritingReplacesEverySpellingOfTheKey) {
    SettingsStore store(file());
    store.write("SMR", "NULLValue", "100");
    store.write("SMR", "nullvalue", "5");
    store.write("SMR", "NullValue", "1");
    store.sync();
    QSettings raw(file(), QSettings::IniFormat);
    raw.beginGroup("SMR");
    EXPECT_EQ(raw.childKeys(), QStringList{"NullValue"});
    EXPECT_EQ(raw.value("NullValue").toString(), "1");
}

TEST_F(SettingsTest, ExitValuesAreWhatTheNextStartReads) {
    {
        SettingsStore store(file());
        WindowSettings w;
        w.left = 1515;
        w.top = 2040;
        w.width = 9000;
        w.height = 7500.5;
        w.navigatorWidth = 240;
        w.appPath = "/usr/local/veldrix";
        WriteExitSettings(store, w, 1);
    }
    SettingsStore next(file());
    const WindowSettings w = ReadWindowSettings(next, "/elsewhere");
    EXPECT_EQ(w.left, 1515);
    EXPECT_EQ(w.top, 2040);
    EXPECT_EQ(w.width, 9000);
    EXPECT_EQ(w.height, 7500.5);
    EXPECT_EQ(w.navigatorWidth, 240);
    EXPECT_EQ(w.appPath, "/usr/local/veldrix");
    EXPECT_EQ(ReadSmrNullValue(next), 1);
    // The null value is written under "NullValue"; the copyright section too.
    EXPECT_EQ(next.read("SMR", "NullValue", "?"), "1");
    EXPECT_EQ(next.read("Copyright", "Application", "?"), "VELDRIX 1.41");
    EXPECT_EQ(next.read("Copyright", "Version", "?"), "1.41");
    EXPECT_FALSE(next.read("Copyright", "Copyright", "").isEmpty());
}

TEST_F(SettingsTest, NumbersAreStoredAsSinglePrecisionText) {
    EXPECT_EQ(SettingNumberText(6500), "6500");
    EXPECT_EQ(SettingNumberText(1234.5), "1234.5");
    EXPECT_EQ(SettingNumberText(0.1), "0.1");
}

TEST_F(SettingsTest, UnreadableNumbersFallBackToTheirDefaults) {
    {
        QSettings raw(file(), QSettings::IniFormat);
        raw.setValue("Settings/MainLeft", "left edge");
        raw.setValue("Settings/MainWidth", "0");
        raw.setValue("Settings/MainHeight", "-50");
        raw.setValue("Settings/xLeft", "3");
        raw.setValue("SMR/NULLValue", "zero");
    }
    SettingsStore store(file());
    const WindowSettings w = ReadWindowSettings(store, "/x");
    EXPECT_EQ(w.left, 1000);
    EXPECT_EQ(w.width, 6500);   // a window without area cannot be used
    EXPECT_EQ(w.height, 6500);
    EXPECT_FALSE(w.sizeStored);
    EXPECT_EQ(w.navigatorWidth, 20);  // the narrowest tree the splitter allows
    EXPECT_EQ(ReadSmrNullValue(store), 100);
}

}  // namespace
}  // namespace vdx
