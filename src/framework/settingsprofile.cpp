#include "settingsprofile.h"

#include <QSettings>

CSettingsProfile::CSettingsProfile() = default;

CSettingsProfile::~CSettingsProfile() = default;

void CSettingsProfile::SetRegistryKey(const QString& key, const QString& appName)
{
    m_pSettings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, key, appName);
}

QString CSettingsProfile::Key(const QString& section, const QString& entry)
{
    return entry.isEmpty() ? section : section + '/' + entry;
}

int CSettingsProfile::GetProfileInt(const QString& section, const QString& entry, int nDefault) const
{
    if (!m_pSettings)
        return nDefault;
    const QVariant value = m_pSettings->value(Key(section, entry));
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    return ok ? n : nDefault;
}

bool CSettingsProfile::WriteProfileInt(const QString& section, const QString& entry, int nValue)
{
    if (!m_pSettings)
        return false;
    m_pSettings->setValue(Key(section, entry), nValue);
    return true;
}

QString CSettingsProfile::GetProfileString(const QString& section, const QString& entry,
                                           const QString& strDefault) const
{
    if (!m_pSettings)
        return strDefault;
    const QVariant value = m_pSettings->value(Key(section, entry));
    // A value written by hand without quotes reads as a list when it holds commas.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.isValid() ? value.toString() : strDefault;
}

bool CSettingsProfile::WriteProfileString(const QString& section, const QString& entry, const QString& value)
{
    if (!m_pSettings)
        return false;
    m_pSettings->setValue(Key(section, entry), value);
    return true;
}

bool CSettingsProfile::RemoveProfileValue(const QString& section, const QString& entry)
{
    if (!m_pSettings)
        return false;
    m_pSettings->remove(Key(section, entry));
    return true;
}

void CSettingsProfile::Sync()
{
    if (m_pSettings)
        m_pSettings->sync();
}
