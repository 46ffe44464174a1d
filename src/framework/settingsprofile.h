#pragma once

#include <QString>

#include <memory>

class QSettings;

// The user's settings profile: integer and string values by section and value
// name, kept under the organisation given to SetRegistryKey and the application
// name ("Vantorel" / "Zorbel" -> ~/.config/Vantorel/Zorbel.conf on Linux).
// Before SetRegistryKey nothing is stored and reads give their defaults; so it
// stays when the file is not a regular file or longer than 1 MiB, which
// SetRegistryKey says in a message and leaves as it is.
class CSettingsProfile {
public:
    CSettingsProfile();
    ~CSettingsProfile();

    void SetRegistryKey(const QString& key, const QString& appName);

    // A value that is absent or not a whole number gives nDefault.
    int GetProfileInt(const QString& section, const QString& entry, int nDefault) const;
    bool WriteProfileInt(const QString& section, const QString& entry, int nValue);
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& strDefault = QString()) const;
    bool WriteProfileString(const QString& section, const QString& entry, const QString& value);
    // Removes a value; an empty entry removes the whole section.
    bool RemoveProfileValue(const QString& section, const QString& entry);

    void Sync();

private:
    static QString Key(const QString& section, const QString& entry);
    std::unique_ptr<QSettings> m_pSettings;
};
