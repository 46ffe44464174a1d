#pragma once

#include <QList>
#include <QString>

#include <optional>

class CSettingsProfile;

// A number remembered for each of the files last given one, in one section of
// the settings profile, such as the code page a user chose for a file. Files
// are told apart by AfxCanonicalFilePath, so "f.bin" and "./f.bin" share a
// value. The newest nMax files are kept; setting a value makes its file the
// newest, and the oldest beyond nMax are dropped. Entries "1", "2", ... hold
// "VALUE PATH", newest first. Without a profile nothing is remembered.
class CPerFileValues {
public:
    CPerFileValues(CSettingsProfile* pProfile, QString section, int nMax = 500);

    // The file's value, or nDefault when none is remembered.
    int Get(const QString& path, int nDefault) const;
    void Set(const QString& path, int nValue);
    void Forget(const QString& path);

private:
    struct Entry {
        int nValue;
        QString path;
    };
    QList<Entry> Read() const;
    void Update(const QString& path, std::optional<int> value);
    void Write(const QList<Entry>& entries, int nOldCount);

    CSettingsProfile* m_pProfile;
    QString m_section;
    int m_nMax;
};
