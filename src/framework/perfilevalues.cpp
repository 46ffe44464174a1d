#include "perfilevalues.h"

#include "diskfile.h"
#include "filename.h"
#include "settingsprofile.h"

#include <QList>

namespace {

QString FileKey(int i)
{
    return QStringLiteral("File%1").arg(i);
}

QString NameKey(int i)
{
    return QStringLiteral("Name%1").arg(i);
}

} // namespace

CPerFileValues::CPerFileValues(CSettingsProfile* pProfile, QString section, int nMax, Holds holds)
    : m_pProfile(pProfile), m_section(std::move(section)), m_nMax(nMax), m_holds(holds)
{
}

QList<CPerFileValues::Entry> CPerFileValues::Read() const
{
    QList<Entry> entries;
    if (!m_pProfile)
        return entries;
    for (int i = 1; i <= m_nMax; ++i) {
        if (m_holds == Holds::Names) {
            const QString file = m_pProfile->GetProfileString(m_section, FileKey(i));
            const QString name = m_pProfile->GetProfileString(m_section, NameKey(i));
            if (file.isEmpty())
                break;
            if (!name.isEmpty())
                entries.append(Entry{AfxFileNameFromProfile(name), AfxFileNameFromProfile(file)});
            continue;
        }
        const QString text = m_pProfile->GetProfileString(m_section, QString::number(i));
        if (text.isEmpty())
            break;
        // A value spoilt by hand is skipped, not taken for a number.
        const qsizetype nSpace = text.indexOf(QLatin1Char(' '));
        bool bOk = false;
        const int nValue = text.left(nSpace).toInt(&bOk);
        if (nSpace > 0 && bOk)
            entries.append(Entry{QString::number(nValue), AfxFileNameFromProfile(text.mid(nSpace + 1))});
    }
    return entries;
}

void CPerFileValues::Write(const QList<Entry>& entries, int nOldCount)
{
    for (int i = 0; i < entries.size(); ++i) {
        const QString path = AfxFileNameToProfile(entries[i].path);
        if (m_holds == Holds::Names) {
            m_pProfile->WriteProfileString(m_section, FileKey(i + 1), path);
            m_pProfile->WriteProfileString(m_section, NameKey(i + 1), AfxFileNameToProfile(entries[i].value));
        } else {
            m_pProfile->WriteProfileString(m_section, QString::number(i + 1), entries[i].value + QLatin1Char(' ') + path);
        }
    }
    for (int i = int(entries.size()); i < nOldCount; ++i) {
        if (m_holds == Holds::Names) {
            m_pProfile->RemoveProfileValue(m_section, FileKey(i + 1));
            m_pProfile->RemoveProfileValue(m_section, NameKey(i + 1));
        } else {
            m_pProfile->RemoveProfileValue(m_section, QString::number(i + 1));
        }
    }
}

std::optional<QString> CPerFileValues::Find(const QString& path) const
{
    if (path.isEmpty())
        return std::nullopt;
    const QString canonical = AfxCanonicalFilePath(path);
    for (const Entry& entry : Read()) {
        if (entry.path == canonical)
            return entry.value;
    }
    return std::nullopt;
}

int CPerFileValues::Get(const QString& path, int nDefault) const
{
    const std::optional<QString> value = Find(path);
    return value ? value->toInt() : nDefault;
}

void CPerFileValues::Set(const QString& path, int nValue)
{
    Update(path, QString::number(nValue));
}

QString CPerFileValues::GetName(const QString& path) const
{
    return Find(path).value_or(QString());
}

void CPerFileValues::SetName(const QString& path, const QString& name)
{
    Update(path, name);
}

void CPerFileValues::Forget(const QString& path)
{
    Update(path, std::nullopt);
}

// Takes the file's entry out and, with a value, puts it back first.
void CPerFileValues::Update(const QString& path, std::optional<QString> value)
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
