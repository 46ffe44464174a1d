#pragma once

#include "bookmarks.h"
#include "piecetable.h"

#include <QByteArray>

#include <cstdint>
#include <deque>
#include <vector>

// Where the caret and the selection stood, for a step to put them back.
struct CEditState {
    qint64 nAnchor = 0;
    qint64 nEnd = 0;
    qint64 nCaret = 0;
    bool bSelection = false;
};

// One change of the document's bytes: at each offset (in the document before
// the change, ascending) nRemove bytes were replaced by the same inserted bytes.
// Only the bytes taken out and put in are kept, never a copy of the document:
// Replace All of k occurrences keeps k offsets and k * nRemove old bytes.
// A document held as pieces keeps the pieces its changes replaced instead of
// the old bytes (removed stays empty): pieceSteps, done in order, undone in
// reverse, one for each change a run of typing made.
struct CEditStep {
    std::vector<qint64> offsets;
    qint64 nRemove = 0;
    QByteArray removed;    // offsets.size() * nRemove bytes, piece by piece
    std::vector<CPieceStep> pieceSteps;
    QByteArray inserted;   // put in at every offset
    CEditState before;     // restored by Undo
    CEditState after;      // restored by Redo: where the change left them
    bool bTyping = false;  // a run of typed bytes, which later typing extends
    // The bookmarks the change cut into or grew, as they were before it was
    // done and before it was undone: the reverse change alone cannot put them
    // back.
    std::vector<CBookmark> marksDone;
    std::vector<CBookmark> marksUndone;

    std::uint64_t Cost() const;
    // Where piece i starts once the step is done.
    qint64 OffsetAfter(std::size_t i) const;
};

// The undo and redo history of one document, shared by all its windows.
//
// Steps [0, done) are done, the rest undone and ready to redo; a new step drops
// those. The history keeps the bytes of its steps within a limit, dropping the
// oldest steps first; a step that alone passes the limit is not kept, and the
// history is emptied. The saved mark remembers which place in the history
// matches the file on disk, so the modified flag can follow undo and redo.
class CEditHistory {
public:
    void SetLimit(std::uint64_t nBytes);
    std::uint64_t Limit() const { return m_nLimit; }
    std::uint64_t Cost() const { return m_nCost; }

    // Adds a step just done. False when it alone passes the limit: the history
    // is then empty and the change cannot be undone.
    bool Add(CEditStep step);
    // Folds a typed change (one piece) into the last step when that is typing
    // the same run continues: the change starts where the run's bytes end or
    // lies within them. False when it makes a step of its own.
    // In piece mode removed is empty, nRemoved says how many bytes went and
    // pPieces is the change's step of the pieces, kept with the run.
    bool ExtendTyping(qint64 nPos, const QByteArray& removed, const QByteArray& inserted, qint64 nRemoved,
                      CPieceStep* pPieces = nullptr);
    bool ExtendTyping(qint64 nPos, const QByteArray& removed, const QByteArray& inserted)
    {
        return ExtendTyping(nPos, removed, inserted, removed.size());
    }
    // Ends the run of typing: the next typed byte starts a new step.
    void EndTyping() { m_bTypingOpen = false; }
    // Where the caret and selection stand once the newest done step's command
    // has finished, for Redo to put them back there.
    void SetAfter(const CEditState& state);

    // The newest done step, or null.
    CEditStep* Newest() { return m_nDone > 0 ? &m_steps[m_nDone - 1] : nullptr; }
    bool CanUndo() const { return m_nDone > 0; }
    bool CanRedo() const { return m_nDone < m_steps.size(); }
    // The step to revert or to do again; the history moves past it.
    CEditStep& Undo();
    CEditStep& Redo();

    void MarkSaved();
    bool IsAtSaved() const;
    void Clear();
    // A change was made that no step records: the history is emptied and no
    // place in it matches the file any more.
    void Forget();
    std::size_t Count() const { return m_steps.size(); }

private:
    void DropOldest();

    std::deque<CEditStep> m_steps;
    std::size_t m_nDone = 0;
    // Steps dropped from the front, so that places in the history stay
    // comparable after a drop; -1 when no place matches the file.
    std::int64_t m_nDropped = 0;
    std::int64_t m_nSaved = 0;
    std::uint64_t m_nCost = 0;
    std::uint64_t m_nLimit = 256ull << 20;
    bool m_bTypingOpen = false;
};
