#pragma once

#include <QString>
#include <QStringList>

class CSettingsProfile;

// The most recently used files, newest first, kept in the profile as
// "<section>"/"File1" .. "File<size>".
class CRecentFileList {
public:
    CRecentFileList(const QString& section, const QString& entryFormat, int nSize);

    // Moves or adds the path to the front, dropping the oldest beyond the size.
    void Add(const QString& path);
    void Remove(int nIndex);
    int GetSize() const { return m_nSize; }
    int GetCount() const { return m_names.size(); }
    const QString& operator[](int nIndex) const { return m_names[nIndex]; }
    const QStringList& Names() const { return m_names; }

    void ReadList(const CSettingsProfile& profile);
    void WriteList(CSettingsProfile& profile) const;

private:
    QString Entry(int nIndex) const;

    QString m_strSection;
    QString m_strEntryFormat;
    int m_nSize;
    QStringList m_names;
};
