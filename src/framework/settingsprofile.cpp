#include "settingsprofile.h"

#include "afxmsg.h"
#include "afxres.h"
#include "resources.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

// Settings are a few lines; Qt reads the whole file when the settings are
// made and writes it whole at every sync, so a longer file is no settings
// file of ours.
constexpr qint64 kMaxSettingsFile = qint64(1) << 20;

} // namespace

CSettingsProfile::CSettingsProfile() = default;

CSettingsProfile::~CSettingsProfile() = default;

void CSettingsProfile::SetRegistryKey(const QString& key, const QString& appName)
{
    // Where QSettings keeps them on Linux, looked at before Qt opens it: a
    // FIFO there would make the program wait for a writer before any window.
    // A file that is refused is left as it is and the defaults are used.
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
                         + key + QLatin1Char('/') + appName + QLatin1String(".conf");
    const QFileInfo info(file);
    if (info.exists() && (!info.isFile() || info.size() > kMaxSettingsFile)) {
        m_pSettings.reset();
        AfxMessageBox(AfxLoadString(AFX_IDP_SETTINGS_REFUSED).replace(QLatin1String("%1"), file),
                      MB_OK | MB_ICONEXCLAMATION);
        return;
    }
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
