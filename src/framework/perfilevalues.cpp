#include "perfilevalues.h"

#include "diskfile.h"
#include "filename.h"
#include "settingsprofile.h"

#include <QList>

CPerFileValues::CPerFileValues(CSettingsProfile* pProfile, QString section, int nMax)
    : m_pProfile(pProfile), m_section(std::move(section)), m_nMax(nMax)
{
}

QList<CPerFileValues::Entry> CPerFileValues::Read() const
{
    QList<Entry> entries;
    if (!m_pProfile)
        return entries;
    for (int i = 1; i <= m_nMax; ++i) {
        const QString text = m_pProfile->GetProfileString(m_section, QString::number(i));
        if (text.isEmpty())
            break;
        // A value spoilt by hand is skipped, not taken for a number.
        const qsizetype nSpace = text.indexOf(QLatin1Char(' '));
        bool bOk = false;
        const int nValue = text.left(nSpace).toInt(&bOk);
        if (nSpace > 0 && bOk)
            entries.append(Entry{nValue, AfxFileNameFromProfile(text.mid(nSpace + 1))});
    }
    return entries;
}

void CPerFileValues::Write(const QList<Entry>& entries, int nOldCount)
{
    for (int i = 0; i < entries.size(); ++i)
        m_pProfile->WriteProfileString(m_section, QString::number(i + 1),
                                       QString::number(entries[i].nValue) + QLatin1Char(' ')
                                           + AfxFileNameToProfile(entries[i].path));
    for (int i = int(entries.size()); i < nOldCount; ++i)
        m_pProfile->RemoveProfileValue(m_section, QString::number(i + 1));
}

int CPerFileValues::Get(const QString& path, int nDefault) const
{
    if (path.isEmpty())
        return nDefault;
    const QString canonical = AfxCanonicalFilePath(path);
    for (const Entry& entry : Read()) {
        if (entry.path == canonical)
            return entry.nValue;
    }
    return nDefault;
}

void CPerFileValues::Set(const QString& path, int nValue)
{
    Update(path, nValue);
}

void CPerFileValues::Forget(const QString& path)
{
    Update(path, std::nullopt);
}

// Takes the file's entry out and, with a value, puts it back first.
void CPerFileValues::Update(const QString& path, std::optional<int> value)
{
    if (!m_pProfile || path.isEmpty())
        return;
    QList<Entry> entries = Read();
    const int nOldCount = int(entries.size());
    const QString canonical = AfxCanonicalFilePath(path);
    entries.removeIf([&canonical](const Entry& entry) { return entry.path == canonical; });
    if (value)
        entries.prepend(Entry{*value, canonical});
    else if (entries.size() == nOldCount)
        return;
    if (entries.size() > m_nMax)
        entries.resize(m_nMax);
    Write(entries, nOldCount);
}
