#include "hexview.h"

#include "afxmsg.h"
#include "afxres.h"
#include "beep.h"
#include "chartable.h"
#include "codepage.h"
#include "hexdoc.h"
#include "resource.h"
#include "resources.h"
#include "settingsprofile.h"
#include "textencoder.h"

#include <QScopeGuard>

#include <algorithm>

// Insert mode pauses after the first digit of a byte typed in the hex column, so
// that the second digit completes that byte instead of inserting another. Any
// key that types or moves, other than a hex digit, a click, Delete and every
// other edit end the pause; the byte keeps 0 as its low digit and the caret
// goes after it, so that whatever comes next lands after the completed byte.
// Delete takes the half-typed byte away instead: the caret stays on it.
void CHexView::EndInsertPause(bool bAfterByte)
{
    m_bResumeInsert = false;
    if (bAfterByte)
        m_nCaretPos = std::min(m_nCaretPos + 1, GetDocument()->Length());
    m_bInsertMode = true;
    m_bHighNibble = true;
    ResetCaret();
}

void CHexView::CollapseSelection()
{
    HideSelection();
    m_nCaretPos = m_nSelEnd;
}

bool CHexView::InsertModeChosen() const
{
    return m_bInsertMode || m_bResumeInsert;
}

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kInsertMode = QStringLiteral("InsertMode");

} // namespace

bool CHexView::GetStoredInsertMode() const
{
    const CSettingsProfile* pProfile = GetServices().pProfile;
    return !pProfile || pProfile->GetProfileInt(kSettings, kInsertMode, 1) != 0;
}

namespace {

bool IsSelectingKey(unsigned nChar)
{
    return nChar == VK_LEFT || nChar == VK_RIGHT || nChar == VK_UP || nChar == VK_DOWN || nChar == VK_HOME
        || nChar == VK_END || nChar == VK_PRIOR || nChar == VK_NEXT;
}

// Modifiers and lock keys: pressed alone they type nothing and move nothing.
bool TypesNothing(unsigned nChar)
{
    return nChar == VK_CONTROL || nChar == VK_MENU || nChar == VK_LWIN || nChar == VK_CAPITAL
        || nChar == VK_NUMLOCK || nChar == VK_SCROLL;
}

// The top row's digits, the letters A-F and, with Num Lock on, the keypad's
// digits. Keypad 1-6 have the codes of the letters a-f.
bool IsHexDigitKey(unsigned nChar)
{
    return IsHexDigit(int(nChar)) || (nChar >= VK_NUMPAD0 && nChar <= VK_NUMPAD0 + 9);
}

} // namespace

// Shift alone does nothing: most Shift presses are for a capital. The first key
// of a Shift press that extends the selection extends the selection shown from
// its anchor, or anchors a new one at the caret; a Shift press with only
// characters typed leaves the selection, the caret and a pending pause as they
// were. Ctrl, Alt and the lock keys alone do nothing either, and a key held
// with Ctrl that is no move belongs to its command: neither scrolls, so the
// selection a command acts on stays the one shown.
void CHexView::OnKeyDown(unsigned nChar, unsigned, unsigned)
{
    if (nChar == VK_SHIFT) {
        m_bShiftSelecting = false;
        return;
    }
    if (TypesNothing(nChar))
        return;
    const bool bWasPaused = m_bResumeInsert;
    if (!IsHexDigitKey(nChar) && m_bResumeInsert)
        EndInsertPause();
    const bool bShift = IsKeyDown(VK_SHIFT);
    if (!bShift && !IsKeyDown(VK_CONTROL) && m_bSelection)
        CollapseSelection();
    // A key that moves the caret or changes the mode ends a run of typing.
    if ((nChar >= VK_PRIOR && nChar <= VK_DOWN) || nChar == VK_TAB || nChar == VK_INSERT)
        GetDocument()->EndTyping();
    if (bShift && !m_bShiftSelecting && IsSelectingKey(nChar)) {
        if (m_bSelection && m_nSelAnchor != m_nSelEnd) {
            m_nCaretPos = m_nSelEnd;
        } else {
            HideSelection();
            m_nSelAnchor = m_nSelEnd = m_nCaretPos;
        }
        m_bShiftSelecting = true;
    }

    const qint64 nLast = GetDocument()->Length();
    const qint64 nPage = qint64(m_nLineHeight ? m_nClientHeight / m_nLineHeight : 0) * 16;
    switch (nChar) {
    case VK_TAB:
        m_bHexColumn = !m_bHexColumn;
        break;
    case VK_PRIOR:
    case VK_NEXT:
        if (nChar == VK_PRIOR)
            m_nCaretPos = std::max<qint64>(m_nCaretPos - nPage, 0);
        else
            m_nCaretPos = std::min(m_nCaretPos + nPage, nLast);
        OnVScroll(nChar == VK_PRIOR ? SB_PAGEUP : SB_PAGEDOWN, 0, nullptr);
        if (bShift) {
            ExtendSelection(m_nCaretPos);
            return;
        }
        break;
    case VK_END:
    case VK_HOME: {
        const bool bEnd = nChar == VK_END;
        OnVScroll(bEnd ? SB_BOTTOM : SB_TOP, 0, nullptr);
        OnHScroll(bEnd ? SB_RIGHT : SB_LEFT, 0, nullptr);
        m_nCaretPos = bEnd ? nLast : 0;
        if (bShift) {
            ExtendSelection(m_nCaretPos);
            return;
        }
        PlaceCaret();
        break;
    }
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        if (nChar == VK_LEFT) {
            MoveLeft();
        } else if (nChar == VK_RIGHT) {
            if (!bWasPaused)   // the end of the pause moved it already
                MoveRight();
        } else if (nChar == VK_UP) {
            m_nCaretPos = m_nCaretPos >= 16 ? m_nCaretPos - 16 : m_nCaretPos;
        } else {
            m_nCaretPos = std::min<qint64>(m_nCaretPos + 16, nLast);
        }
        if (bShift) {
            // The window follows the moving end.
            ScrollDownToCaret(m_nCaretPos);
            ScrollUpToCaret();
            ExtendSelection(m_nCaretPos);
            return;
        }
        break;
    case VK_INSERT: {
        m_bHighNibble = true;
        m_bInsertMode = !m_bInsertMode;
        if (CSettingsProfile* pProfile = GetServices().pProfile)
            pProfile->WriteProfileInt(kSettings, kInsertMode, m_bInsertMode ? 1 : 0);
        UpdateModePane();
        break;
    }
    default:
        if (IsKeyDown(VK_CONTROL))
            return;
        break;
    }
    ScrollDownToCaret(m_nCaretPos);
    ScrollUpToCaret();
    ResetCaret();
}

// Shift released after selecting: the caret goes back to the selection's fixed
// end, where the next selecting Shift press anchors a new selection.
void CHexView::OnKeyUp(unsigned nChar, unsigned, unsigned)
{
    if (nChar != VK_SHIFT)
        return;
    if (m_bShiftSelecting)
        m_nCaretPos = m_nSelAnchor;
    m_bShiftSelecting = false;
}

// Text goes in as the bytes of the document's code page. In the hex column only
// the ASCII hex digits count; the text column takes the text whole or, when the
// code page cannot hold a character of it, not at all.
void CHexView::OnText(const QString& text)
{
    if (m_bHexColumn) {
        for (const QChar ch : text) {
            if (ch.unicode() < 0x80)
                OnChar(ch.unicode(), 1, 0);
        }
        return;
    }
    // A control key (Tab, Enter) is no text to write, in a character table
    // too: it goes as the key it is.
    if (text.size() == 1 && text[0].unicode() < 0x20) {
        OnChar(text[0].unicode(), 1, 0);
        return;
    }
    QByteArray bytes;
    if (!EncodeOrRefuse(text, bytes))
        return;
    // A single byte always fits, or is dropped on the end marker; a control
    // character (Tab) must leave the selection alone.
    if (!m_bInsertMode && bytes.size() > 1 && !FitsBeforeTheEnd(text, bytes.size()))
        return;
    for (const char b : bytes)
        OnChar(std::uint8_t(b), 1, 0);
}

// Overwriting keeps the file's length: text whose bytes would run past the end
// goes in not at all, rather than its first bytes alone (half a double-byte
// character), as every text that cannot be written whole is refused. On the
// end marker itself typing is dropped as it always is.
bool CHexView::FitsBeforeTheEnd(const QString& text, qint64 nBytes)
{
    if (m_bSelection)
        CollapseSelection();
    const qint64 nLength = GetDocument()->Length();
    if (m_nCaretPos >= nLength || nBytes <= nLength - m_nCaretPos)
        return true;
    MessageBeep(MB_ICONEXCLAMATION);
    ShowStatusMessage(AfxLoadString(IDS_OVERWRITE_PAST_END)
                          .arg(text, QString::number(nBytes), QString::number(nLength - m_nCaretPos)));
    return false;
}

// The end marker is never typed over: in overwrite mode a character or digit on
// it is dropped, and the caret stays.
void CHexView::OnChar(unsigned nChar, unsigned, unsigned)
{
    if (nChar < 0x20 || nChar == 0x7F)
        return;
    m_bTyping = true;
    const auto typed = qScopeGuard([this] {
        m_bTyping = false;
        NoteStepAfter();
    });
    // A character typed with Shift held over a selection lands where an
    // unshifted one would.
    if (m_bSelection)
        CollapseSelection();
    CHexDoc* pDoc = GetDocument();
    const bool bOnEndMarker = m_nCaretPos >= pDoc->Length();
    if (m_bHexColumn) {
        if (!IsHexDigit(int(nChar)))
            return;
        const std::uint8_t v = std::uint8_t(nChar <= '9' ? nChar - '0' : (nChar & ~0x20u) - 55);
        if (m_bInsertMode) {
            if (!InsertByte(m_nCaretPos, std::uint8_t(v << 4)))
                return;
            m_bInsertMode = false;
            m_bResumeInsert = true;
        } else {
            if (bOnEndMarker)
                return;
            SetByteOrNibble(m_nCaretPos, v, false);
            if (m_bResumeInsert) {
                m_bInsertMode = true;
                m_bResumeInsert = false;
                m_bHighNibble = !m_bHighNibble;
            }
        }
    } else if (m_bInsertMode) {
        if (!InsertByte(m_nCaretPos, std::uint8_t(nChar)))
            return;
    } else {
        if (bOnEndMarker)
            return;
        SetByteOrNibble(m_nCaretPos, std::uint8_t(nChar), true);
    }
    MoveRight();
    ScrollDownToCaret(m_nCaretPos);
    ResetCaret();
}

// Shift+click extends the selection from its anchor, or from the caret when
// there is none.
void CHexView::OnLButtonDown(unsigned nFlags, const QPoint& point)
{
    if (m_bResumeInsert)
        EndInsertPause();
    if (!GetClientRect().contains(point))
        return;
    GetDocument()->EndTyping();
    if (nFlags & MK_SHIFT) {
        const qint64 nAnchor = m_bSelection ? m_nSelAnchor : m_nCaretPos;
        SelectRange(nAnchor, HitTest(point, true));
        return;
    }
    m_nCaretPos = HitTest(point, true);
    m_nSelAnchor = m_nSelEnd = m_nCaretPos;
    if (m_bSelection) {
        m_bSelection = false;
        InvalidateRect(GetClientRect(), true);
        UpdateWindow();
    }
    ResetCaret();
    UpdateCaretPane();
}

// Only a move with the left button alone extends: Shift, Ctrl or another
// button held leaves the selection as it is.
void CHexView::OnMouseMove(unsigned nFlags, const QPoint& point)
{
    if (nFlags != MK_LBUTTON)
        return;
    const qint64 nEnd = HitTest(point, false);
    if (nEnd != m_nSelEnd)
        ExtendSelection(nEnd);
}

void CHexView::OnLButtonUp(unsigned, const QPoint& point)
{
    Q_UNUSED(point);
    m_nCaretPos = m_nSelAnchor;
}

// The byte under a client point, also for points outside the window (a drag
// keeps going there): above the rows counts as the top line, below the last row
// as the last row, left of the hex pairs as the row's first byte. Clicks right of
// the text column land on the row's last cell; drags right of the block on the
// next row's first byte, so that dragging past a row's end takes in the whole
// row. Sets the caret's column, and its digit when overwriting.
qint64 CHexView::HitTest(const QPoint& point, bool bClick)
{
    const qint64 nSize = GetDocument()->Length() + 1;
    if (m_nLineHeight == 0 || m_nCharWidth == 0 || m_nRows == 0)
        return 0;
    const qint64 nLineHeight = m_nLineHeight;
    const qint64 v = GetScrollPos(SB_VERT);
    const qint64 nTop = v / nLineHeight;
    // A row's cells begin one pixel below its line (CellToClient).
    const qint64 y = qint64(point.y()) + v % nLineHeight - 1;
    const qint64 nRow = std::min(nTop + std::max<qint64>(0, y / nLineHeight), m_nRows - 1);

    const qint64 x = qint64(point.x()) - m_nLeftMargin + GetScrollPos(SB_HORZ);
    int c = x < 0 ? 10 : int(std::min<qint64>(x / m_nCharWidth, 200));
    // Past a widened offset column the columns are the usual ones moved right.
    c = c >= CRowFormat::kOffsetColumns + m_nOffsetExtra ? c - m_nOffsetExtra : std::min(c, 10);
    if (c <= 10)
        c = 10;
    m_bHexColumn = true;
    if (bClick) {
        if (c >= 78)
            c = IsRowContinued(nRow, false) ? 78 : 77;
        if (c == 60 || c == 61)
            c = 62;
        else if (c == 58 || c == 59)
            c = 57;
    } else if (c > 78) {
        c = 79;
    }
    int nLine = int(nRow - nTop);
    if (c >= 62) {
        if (nRow == m_nRows - 1)
            c = std::min(c, 62 + int((nSize - 1) % 16));
        ConvertColumn(c, nLine);
        m_bHexColumn = false;
    }
    const int d = c >= 35 ? 1 : 0;
    if (!m_bInsertMode)
        m_bHighNibble = (c - d - 9) % 3 != 2;
    const qint64 nOffset = (nTop + nLine) * 16 + (c - d - 9) / 3;
    return std::clamp<qint64>(nOffset, 0, nSize - 1);
}

bool CHexView::InsertByte(qint64 nOffset, std::uint8_t b)
{
    return InsertBytes(nOffset, &b, 1);
}

// Replaces the digit the caret's cell shows, or the whole byte. The end marker
// is never written.
void CHexView::SetByteOrNibble(qint64 nOffset, std::uint8_t v, bool bWhole)
{
    CHexDoc* pDoc = GetDocument();
    if (nOffset >= pDoc->Length())
        return;
    const std::uint8_t old = pDoc->ByteAt(nOffset);
    std::uint8_t b = v;
    if (!bWhole) {
        const int c = OffsetToCell(nOffset).x();
        const bool bHigh = (c <= 32 ? c - 10 : c - 35) % 3 == 0;
        b = bHigh ? std::uint8_t((v << 4) | (old & 0x0F)) : std::uint8_t((old & 0xF0) | (v & 0x0F));
    }
    ReplaceBytes(nOffset, 1, &b, 1);
}

// Bytes go out to other programs as the text the text column shows.
QByteArray CHexView::GetCharCodec() const
{
    return CodecNameFromCodePage(GetDocument()->GetCodePage());
}

bool CHexView::EncodeOrRefuse(const QString& text, QByteArray& bytes)
{
    const int nCodePage = GetDocument()->GetCodePage();
    const CCharTable* pTable = GetDocument()->GetCharTable();
    const CEncodedText encoded = pTable ? pTable->Encode(text) : EncodeText(nCodePage, text);
    if (encoded.bOk) {
        bytes = encoded.bytes;
        return true;
    }
    MessageBeep(MB_ICONEXCLAMATION);
    const char32_t ch = encoded.chRefused;
    const QString strCode = QString::number(uint(ch), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    const QString strChar = QString::fromUcs4(&ch, 1) + QStringLiteral(" (U+") + strCode + QLatin1Char(')');
    ShowStatusMessage(AfxLoadString(pTable ? IDS_TABLE_CANNOT_ENCODE : IDS_CANNOT_ENCODE)
                          .arg(strChar, pTable ? pTable->Name() : QString::number(nCodePage)));
    return false;
}
