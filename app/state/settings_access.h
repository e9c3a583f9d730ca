// The per-user settings as the widget-free commands see them: text values
// addressed by a section and a key. The shell's settings store implements
// it; veldrix-cli and the tests hand in a store of their own.
#pragma once

#include <string>

namespace vdx {

class SettingsAccess {
public:
    virtual ~SettingsAccess() = default;
    // The stored text, or defaultValue when the key is missing.
    virtual std::string readSetting(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const = 0;
    virtual void writeSetting(const std::string& section, const std::string& key,
                              const std::string& value) = 0;
};

}  // namespace vdx
