#include "QSettingsStore.h"

QSettingsStore::QSettingsStore(const QString& applicationName)
    : settings(QSettings::IniFormat, QSettings::UserScope, "Tavrix Corporation", applicationName)
{
}

int32_t QSettingsStore::ReadInt(const std::string& name, int32_t defaultValue)
{
    QVariant value = settings.value(QString::fromStdString(name));
    if (!value.isValid())
        return defaultValue;
    // A hand-edited file may hold anything; what does not read as a 32-bit
    // number counts as missing, as a value of the wrong type would.
    bool ok = false;
    int32_t number = value.toInt(&ok);
    return ok ? number : defaultValue;
}

std::string QSettingsStore::ReadText(const std::string& name)
{
    QVariant value = settings.value(QString::fromStdString(name));
    if (!value.isValid() || !value.canConvert<QString>())
        return std::string();
    return value.toString().toStdString();
}

void QSettingsStore::WriteText(const std::string& name, const std::string& value)
{
    settings.setValue(QString::fromStdString(name), QString::fromStdString(value));
}

void QSettingsStore::WriteInt(const std::string& name, int32_t value)
{
    settings.setValue(QString::fromStdString(name), value);
}
