#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class CSettingsProfile;

// A named range of the document's bytes. The id stays with the bookmark while
// edits move, shrink or grow it, so that an undo finds it again.
struct CBookmark {
    qint64 nOffset = 0;
    qint64 nLength = 1;
    QString strName;
    std::uint64_t nId = 0;

    qint64 End() const { return nOffset + nLength; }
    bool operator==(const CBookmark& other) const
    {
        return nOffset == other.nOffset && nLength == other.nLength && strName == other.strName;
    }
};

// The document's bookmarks, kept in order of offset (then length). The
// document moves them with every change of its bytes (Adjust) and puts back
// on Undo and Redo the ones a step changed (Restore); the user's own changes
// (toggle, rename, delete, import) are not history steps. Every change emits
// bookmarksChanged, and nothing is done, nor emitted, when there are none.
class CBookmarks : public QObject {
    Q_OBJECT

public:
    const std::vector<CBookmark>& List() const { return m_list; }
    int Count() const { return int(m_list.size()); }
    bool IsEmpty() const { return m_list.empty(); }
    const CBookmark& At(int i) const { return m_list[std::size_t(i)]; }

    // Adds a bookmark over [nOffset, nOffset + nLength) unless that range has
    // one, which is removed instead. True when one was added.
    bool Toggle(qint64 nOffset, qint64 nLength);
    // The first bookmark holding nOffset, or -1.
    int IndexAt(qint64 nOffset) const;
    int IndexOf(qint64 nOffset, qint64 nLength) const;
    void Add(qint64 nOffset, qint64 nLength, const QString& strName = QString());
    void RemoveAt(int i);
    void Rename(int i, const QString& strName);
    void Clear();
    // Replaces them all, as an import or a load does.
    void SetAll(std::vector<CBookmark> list);
    // Drops what lies past nLength and cuts what crosses it: the file was
    // read again and may be shorter.
    void Clip(qint64 nLength);

    // The bookmark that starts after nFrom (bForward) or before it, wrapping
    // round at the ends; bWrapped tells whether it did. -1 when there is none.
    int Neighbour(qint64 nFrom, bool bForward, bool& bWrapped) const;

    // Calls fn for each bookmark that meets [nFrom, nTo).
    void ForEachIn(qint64 nFrom, qint64 nTo, const std::function<void(const CBookmark&)>& fn) const;

    // A change of nPieces pieces, at offsets at(0) < at(1) < ... in the bytes
    // before the change, each replacing nRemove bytes by nInsert. A bookmark
    // after a piece moves; one that a piece cuts into keeps the bytes outside
    // it plus as many of the new bytes as stood in its part of the piece; one
    // with nothing left goes. An insert inside a bookmark (not at its start or
    // end) grows it. The bookmarks a piece met are appended, as they were, to
    // pTouched: moving alone is undone by the reverse change, the rest needs
    // them back.
    void Adjust(std::size_t nPieces, const std::function<qint64(std::size_t)>& at, qint64 nRemove,
                qint64 nInsert, std::vector<CBookmark>* pTouched);
    // Puts bookmarks back as they were saved: the one with the same id takes
    // the saved range (its name stays, the user may have renamed it since),
    // and one that is gone comes back.
    void Restore(const std::vector<CBookmark>& saved);

    // The text file: one bookmark a line, the offset and the length in
    // hexadecimal and the name, separated by single spaces.
    QString ToText() const;
    // Reads that text for a document of nLength bytes. Blank lines are
    // skipped. On a line that does not parse, or a range past nLength, it
    // returns false with nBadLine the line's number (from 1) and out untouched.
    static bool FromText(const QString& text, qint64 nLength, std::vector<CBookmark>& out, int& nBadLine);

    // Kept per file in the settings profile under "Bookmarks", the file's
    // canonical path as key, the most recently stored kMaxFiles files only.
    static constexpr int kMaxFiles = 100;
    static constexpr int kMaxKept = 1000;   // bookmarks kept per file
    static std::vector<CBookmark> Load(const CSettingsProfile& profile, const QString& canonicalPath,
                                       qint64 nLength);
    static void Store(CSettingsProfile& profile, const QString& canonicalPath, const CBookmarks& marks);

signals:
    void bookmarksChanged();

private:
    void Sort();
    std::uint64_t NextId() { return ++m_nLastId; }

    std::vector<CBookmark> m_list;
    std::uint64_t m_nLastId = 0;
};
