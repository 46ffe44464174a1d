#include "hexdoc.h"

#include "settingsprofile.h"

#include <algorithm>

// A typed step that grew by this change already holds the bookmarks as they
// were before its first byte: only those it had not met yet are added.
void CHexDoc::AdjustBookmarks(std::size_t nPieces, const std::function<qint64(std::size_t)>& at, qint64 nRemove,
                              qint64 nInsert, std::vector<CBookmark>* pKeep)
{
    if (m_bookmarks.IsEmpty())
        return;
    std::vector<CBookmark> touched;
    m_bookmarks.Adjust(nPieces, at, nRemove, nInsert, &touched);
    if (!pKeep)
        return;
    for (CBookmark& mark : touched) {
        const bool bKnown = std::any_of(pKeep->begin(), pKeep->end(),
                                        [&mark](const CBookmark& old) { return old.nId == mark.nId; });
        if (!bKnown)
            pKeep->push_back(std::move(mark));
    }
}

// Undoing a step is the reverse change, at the pieces' new offsets; it then
// puts back what the step had cut into or grown. Each direction keeps what it
// changed for the other.
void CHexDoc::StepBookmarks(CEditStep& step, bool bUndo)
{
    const qint64 nInserted = step.inserted.size();
    std::vector<CBookmark> touched;
    if (bUndo) {
        m_bookmarks.Adjust(step.offsets.size(), [&step](std::size_t i) { return step.OffsetAfter(i); }, nInserted,
                           step.nRemove, &touched);
        step.marksUndone = std::move(touched);
        m_bookmarks.Restore(step.marksDone);
    } else {
        m_bookmarks.Adjust(step.offsets.size(), [&step](std::size_t i) { return step.offsets[i]; }, step.nRemove,
                           nInserted, &touched);
        step.marksDone = std::move(touched);
        m_bookmarks.Restore(step.marksUndone);
    }
}

void CHexDoc::StoreBookmarks()
{
    if (!m_bBookmarksToStore || m_strBookmarkKey.isEmpty() || !m_pBookmarkProfile)
        return;
    CBookmarks::Store(*m_pBookmarkProfile, m_strBookmarkKey, m_bookmarks);
    m_bBookmarksToStore = false;
}
