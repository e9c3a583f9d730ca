// The per-user settings store: text values addressed by a section and a key
// under the application name "VELDRIX". On this desktop it is an INI file in
// the user's config folder ($XDG_CONFIG_HOME/VELDRIX/VELDRIX.ini).
//
// Key names are compared without regard to letter case, as users of older
// versions of the program expect: a value written as "NullValue" is what a
// later read of "NULLValue" finds.
#pragma once

#include <QSettings>
#include <QString>

#include "state/settings_access.h"

namespace vdx {

class SettingsStore : public SettingsAccess {
public:
    SettingsStore();  // the user's store
    explicit SettingsStore(const QString& iniFile);  // a store in a given file

    // The stored text, or defaultValue when the key is missing.
    QString read(const QString& section, const QString& key, const QString& defaultValue) const;
    // Stores value under key, replacing a key that differs only in letter case.
    void write(const QString& section, const QString& key, const QString& value);
    void sync() { settings_.sync(); }
    // The same, for the widget-free commands.
    std::string readSetting(const std::string& section, const std::string& key,
                            const std::string& defaultValue) const override {
        return read(QString::fromStdString(section), QString::fromStdString(key),
                    QString::fromStdString(defaultValue)).toStdString();
    }
    void writeSetting(const std::string& section, const std::string& key, const std::string& value) override {
        write(QString::fromStdString(section), QString::fromStdString(key), QString::fromStdString(value));
    }
    QString fileName() const { return settings_.fileName(); }

private:
    QString storedKey(const QString& section, const QString& key) const;
    mutable QSettings settings_;
};

// What the main window reads when it loads and writes at Exit. Window
// position and size are kept in twips (1/1440 inch); the navigator width in
// pixels.
struct WindowSettings {
    double left = 1000;
    double top = 1000;
    double width = 6500;
    double height = 6500;
    bool sizeStored = false;   // a width and a height are stored (else the window takes most of the screen)
    int navigatorWidth = 200;  // "xLeft"
    QString appPath;           // directory written into the file association
};

WindowSettings ReadWindowSettings(const SettingsStore& store, const QString& programDirectory);

// SMR null value (section "SMR", key "NULLValue"); 100 when missing or not a
// positive number.
double ReadSmrNullValue(const SettingsStore& store);

// Whether Compute > SRR is shown: section "Settings", key "ShowSRR", a
// boolean text ("True", "1"); hidden when missing or anything else.
bool ReadShowSrr(const SettingsStore& store);

// Everything Exit stores: the window settings, the SMR null value and the
// program's copyright section.
void WriteExitSettings(SettingsStore& store, const WindowSettings& window, double smrNullValue);

// The number as a single-precision value's shortest text, as stored.
QString SettingNumberText(double value);

inline const QString kCopyrightNotice =
    QStringLiteral("Copyright (C) the VELDRIX developers. All rights reserved.");

}  // namespace vdx
