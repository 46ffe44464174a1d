#pragma once

#include <QList>
#include <QString>

#include <optional>

class CSettingsProfile;

// A value remembered for each of the files last given one, in one section of
// the settings profile, such as the code page a user chose for a file. Files
// are told apart by AfxCanonicalFilePath, so "f.bin" and "./f.bin" share a
// value. The newest nMax files are kept; setting a value makes its file the
// newest, and the oldest beyond nMax are dropped. Without a profile nothing is
// remembered.
//
// A section holds numbers or file names, never both. Numbers: entries "1",
// "2", ... hold "VALUE PATH", newest first. File names (the character table
// last shown for a file, say): "File1", "Name1", "File2", "Name2", ... hold
// the file and its name, each as AfxFileNameToProfile writes it.
class CPerFileValues {
public:
    enum class Holds { Numbers, Names };
    static constexpr int kMaxFiles = 500;

    CPerFileValues(CSettingsProfile* pProfile, QString section, int nMax = kMaxFiles, Holds holds = Holds::Numbers);

    // The file's number, or nDefault when none is remembered.
    int Get(const QString& path, int nDefault) const;
    void Set(const QString& path, int nValue);
    // The file name remembered for the file, or an empty string.
    QString GetName(const QString& path) const;
    void SetName(const QString& path, const QString& name);
    // Forgets the file's number or name.
    void Forget(const QString& path);

private:
    struct Entry {
        QString value;
        QString path;
    };
    std::optional<QString> Find(const QString& path) const;
    QList<Entry> Read() const;
    void Update(const QString& path, std::optional<QString> value);
    void Write(const QList<Entry>& entries, int nOldCount);

    CSettingsProfile* m_pProfile;
    QString m_section;
    int m_nMax;
    Holds m_holds;
};
