#include "settings_store.h"

#include <cmath>
#include <optional>

#include "state/messages.h"
#include "state/text_values.h"

namespace vdx {

SettingsStore::SettingsStore()
    : settings_(QSettings::IniFormat, QSettings::UserScope,
                QString::fromStdString(kApplicationName), QString::fromStdString(kApplicationName)) {}

SettingsStore::SettingsStore(const QString& iniFile) : settings_(iniFile, QSettings::IniFormat) {}

QString SettingsStore::storedKey(const QString& section, const QString& key) const {
    settings_.beginGroup(section);
    const QStringList keys = settings_.childKeys();
    settings_.endGroup();
    for (const QString& k : keys)
        if (k.compare(key, Qt::CaseInsensitive) == 0) return k;
    return {};
}

QString SettingsStore::read(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    const QString k = storedKey(section, key);
    if (k.isEmpty()) return defaultValue;
    return settings_.value(section + '/' + k).toString();
}

void SettingsStore::write(const QString& section, const QString& key, const QString& value) {
    // Drop every spelling of the key first, so one key holds one value.
    for (QString k = storedKey(section, key); !k.isEmpty(); k = storedKey(section, key))
        settings_.remove(section + '/' + k);
    settings_.setValue(section + '/' + key, value);
}

namespace {

// A stored number; none when the text is missing or not a finite number.
std::optional<double> StoredNumber(const SettingsStore& store, const QString& section, const QString& key) {
    bool ok = false;
    const double v = store.read(section, key, QString()).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

double ReadNumber(const SettingsStore& store, const QString& section, const QString& key,
                  double defaultValue) {
    return StoredNumber(store, section, key).value_or(defaultValue);
}

}  // namespace

WindowSettings ReadWindowSettings(const SettingsStore& store, const QString& programDirectory) {
    WindowSettings w;
    w.left = ReadNumber(store, "Settings", "MainLeft", 1000);
    w.top = ReadNumber(store, "Settings", "MainTop", 1000);
    const auto width = StoredNumber(store, "Settings", "MainWidth");
    const auto height = StoredNumber(store, "Settings", "MainHeight");
    // A window without area cannot be used: the default size instead.
    w.sizeStored = width > 0.0 && height > 0.0;
    if (w.sizeStored) {
        w.width = *width;
        w.height = *height;
    }
    w.navigatorWidth = static_cast<int>(std::lround(ReadNumber(store, "Settings", "xLeft", 200)));
    if (w.navigatorWidth < 20) w.navigatorWidth = 20;
    w.appPath = store.read("Settings", "AppPath", programDirectory);
    return w;
}

double ReadSmrNullValue(const SettingsStore& store) {
    const double v = ReadNumber(store, "SMR", "NULLValue", 100);
    return v > 0 ? v : 100;
}

bool ReadShowSrr(const SettingsStore& store) {
    return ReadBoolean(store.read("Settings", "ShowSRR", "False").toStdString()).value_or(false);
}

QString SettingNumberText(double value) {
    return QString::number(static_cast<double>(static_cast<float>(value)), 'g', 7);
}

void WriteExitSettings(SettingsStore& store, const WindowSettings& w, double smrNullValue) {
    store.write("Settings", "MainLeft", SettingNumberText(w.left));
    store.write("Settings", "MainTop", SettingNumberText(w.top));
    store.write("Settings", "MainWidth", SettingNumberText(w.width));
    store.write("Settings", "MainHeight", SettingNumberText(w.height));
    store.write("Settings", "xLeft", QString::number(w.navigatorWidth));
    store.write("Settings", "AppPath", w.appPath);
    store.write("SMR", "NullValue", SettingNumberText(smrNullValue));
    const QString version = QString::fromStdString(kProgramVersion);
    store.write("Copyright", "Application", "VELDRIX " + version);
    store.write("Copyright", "Copyright", kCopyrightNotice);
    store.write("Copyright", "Version", version);
    store.sync();
}

}  // namespace vdx
