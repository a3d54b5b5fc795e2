#include "QSettingsStore.h"

#include <limits>

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
    // number counts as missing, as a value of the wrong type would. Read wide
    // and range-checked: the library's own conversion to int wraps a number
    // beyond 32 bits (4294967297 would read as 1).
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max())
        return defaultValue;
    return static_cast<int32_t>(number);
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
