#pragma once

#include "SettingsStore.h"

#include <QSettings>

// The program's settings store: QSettings under "Tavrix Corporation" and the
// executable's name (an INI file in the user's config folder on Linux).
class QSettingsStore : public SettingsStore {
public:
    explicit QSettingsStore(const QString& applicationName);

    int32_t ReadInt(const std::string& name, int32_t defaultValue) override;
    std::string ReadText(const std::string& name) override;
    void WriteText(const std::string& name, const std::string& value) override;
    void WriteInt(const std::string& name, int32_t value) override;
    void Sync() override { settings.sync(); }

private:
    QSettings settings;
};
