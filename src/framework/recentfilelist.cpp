#include "recentfilelist.h"

#include "diskfile.h"
#include "settingsprofile.h"

#include "filename.h"

CRecentFileList::CRecentFileList(const QString& section, const QString& entryFormat, int nSize)
    : m_strSection(section), m_strEntryFormat(entryFormat), m_nSize(nSize)
{
}

QString CRecentFileList::Entry(int nIndex) const
{
    return QString(m_strEntryFormat).replace(QLatin1String("%d"), QString::number(nIndex + 1));
}

void CRecentFileList::Add(const QString& path)
{
    const QString absolute = AfxAbsoluteFilePath(path);
    // One entry per file, however it was named.
    const QString canonical = AfxCanonicalFilePath(absolute);
    m_names.removeIf([&](const QString& name) { return AfxCanonicalFilePath(name) == canonical; });
    m_names.prepend(absolute);
    while (m_names.size() > m_nSize)
        m_names.removeLast();
}

void CRecentFileList::Remove(int nIndex)
{
    if (nIndex >= 0 && nIndex < m_names.size())
        m_names.removeAt(nIndex);
}

void CRecentFileList::ReadList(const CSettingsProfile& profile)
{
    m_names.clear();
    for (int i = 0; i < m_nSize; ++i) {
        const QString name = AfxFileNameFromProfile(profile.GetProfileString(m_strSection, Entry(i)));
        if (!name.isEmpty() && !m_names.contains(name))
            m_names.append(name);
    }
}

void CRecentFileList::WriteList(CSettingsProfile& profile) const
{
    profile.RemoveProfileValue(m_strSection, QString());
    for (int i = 0; i < m_names.size(); ++i)
        profile.WriteProfileString(m_strSection, Entry(i), AfxFileNameToProfile(m_names[i]));
}
