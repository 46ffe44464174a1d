#pragma once

// Random editing of a real view, checked against a byte model after every
// step: typing in both columns and both modes, selections by keys and mouse,
// Delete, Cut, Copy, Paste, Replace All, code-page changes and saves. Each step
// is read from a stream of choices (CFuzzInput), so the same session serves the
// random-editing test (choices from a seeded generator) and the view's fuzz
// target (choices from the fuzzer).
//
// The model predicts the bytes from the view's state before the step (caret,
// selection, column, mode, digit); the step then goes through real key and
// mouse events or the view's commands. After each step the bytes must equal the
// model's and the document's invariants hold in both views of it: the end
// marker, caret and selection inside the buffer, the row count, and the row
// continuation both views report agreeing with a walk from offset 0. Where a
// step's outcome follows from plain rules of the layout (the caret after a
// key, a click or a typed digit; the selection after Shift+keys, a drag or
// Replace All) the view's caret, digit and selection must match them too, and
// a selection made by keys, a drag (either way) or Replace All (also by fewer
// bytes) must be highlighted on the screen over exactly its bytes.
//
// An aimed session adds steps that go where random choices seldom do: digits
// typed over the right half of rows below the first, Up and Down from row
// starts, selections ending on row boundaries in both directions and shrunk
// again, Replace All of a byte repeated. The fuzz target leaves them out, so
// that the inputs it kept replay the sessions they were kept for.

#include "afxmsg.h"
#include "codepage.h"
#include "editfixture.h"
#include "fuzzinput.h"
#include "plainrules.h"
#include "resource.h"
#include "testsupport.h"

#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <vector>

class CEditSession {
public:
    explicit CEditSession(const QByteArray& bytes, bool bAimed = false)
        : m_window(bytes, QSize(bAimed ? 900 : 700, 160)), m_model(bytes), m_pSecond(m_window.OpenView(QSize(500, 120))),
          m_bAimed(bAimed)
    {
        m_window.doc.SetPathName(m_dir.path() + QStringLiteral("/edited.bin"));
        m_window.pView->activateWindow();
    }

    // Runs steps until the choices run out or nSteps were made; returns what
    // went wrong, or an empty string.
    QString Run(CFuzzInput& in, int nSteps)
    {
        for (int nStep = 0; nStep < nSteps && !in.AtEnd(); ++nStep) {
            m_failure.clear();
            const QString what = Step(in);
            const QString why = m_failure.isEmpty() ? Check() : m_failure;
            if (!why.isEmpty())
                return QStringLiteral("step %1 (%2): %3").arg(nStep).arg(what, why);
        }
        return QString();
    }

    QByteArray Model() const { return m_model; }

private:
    CHexView* View() const { return m_window.pView.get(); }
    std::uint32_t Length() const { return std::uint32_t(m_model.size()); }
    std::uint32_t SelStart() const { return View()->GetSelection().First(); }
    std::uint32_t SelLength() const { return View()->GetSelection().Length(); }

    QString Step(CFuzzInput& in)
    {
        switch (in.Byte() % (m_bAimed ? 16 : 12)) {
        case 0:
        case 1:
            return TypeHexDigit(in);
        case 2:
            return TypeLetter(in);
        case 3:
            return MoveByKeys(in);
        case 4:
            return ClickOrDrag(in);
        case 5:
            return Switch(in);
        case 6:
            return Delete();
        case 7:
            return CutOrCopy(in);
        case 8:
            return Paste();
        case 9:
            return ReplaceAll(in);
        case 10:
            return ChangeCodePage(in);
        case 11:
            return Save();
        case 12:
            return OverwriteRightHalf(in);
        case 13:
            return MoveFromRowStart(in);
        case 14:
            return SelectToRowBoundary(in);
        default:
            return ReplaceRepeatedByte(in);
        }
    }

    // Where the caret stands: its byte, and its digit in the hex column.
    struct Place {
        std::uint32_t nPos;
        bool bHigh;
    };

    std::uint32_t TopRow() const
    {
        return std::uint32_t(View()->GetScrollPos(SB_VERT) / std::max(1, View()->m_nLineHeight));
    }
    int WholeLines() const { return View()->m_nClientHeight / std::max(1, View()->m_nLineHeight); }

    // The place a key moves the caret to from `at`. Digits are stepped through
    // only when overwriting in the hex column; a page is the window's whole
    // lines.
    Place Moved(const QString& key, Place at, bool bInsert) const
    {
        const bool bDigits = View()->m_bHexColumn && !bInsert;
        const std::uint32_t nPage = std::uint32_t(WholeLines()) * 16;
        if (key == QLatin1String("Left")) {
            if (bDigits && !at.bHigh)
                at.bHigh = true;
            else if (at.nPos > 0)
                at = {at.nPos - 1, bDigits ? false : at.bHigh};
        } else if (key == QLatin1String("Right")) {
            if (at.nPos < Length()) {
                if (bDigits && at.bHigh)
                    at.bHigh = false;
                else
                    at = {at.nPos + 1, bDigits ? true : at.bHigh};
            }
        } else if (key == QLatin1String("Up")) {
            if (at.nPos >= 16)
                at.nPos -= 16;
        } else if (key == QLatin1String("Down")) {
            at.nPos = std::min(at.nPos + 16, Length());
        } else if (key == QLatin1String("Home")) {
            at.nPos = 0;
        } else if (key == QLatin1String("End")) {
            at.nPos = Length();
        } else if (key == QLatin1String("PgUp")) {
            at.nPos = at.nPos > nPage ? at.nPos - nPage : 0;
        } else if (key == QLatin1String("PgDn")) {
            at.nPos = std::min(at.nPos + nPage, Length());
        }
        return at;
    }

    // Keys pressed alone move the caret, from the end of a shown selection.
    // Keys pressed while Shift is held extend a shown selection from its
    // anchor, or select from the caret to where they move it; when Shift goes
    // up the caret returns to the selection's anchor. The first key after a
    // first hex digit puts the caret after that byte, which is Right's move.
    QString PressMoving(const QStringList& keys, bool bShift)
    {
        const CHexView* v = View();
        const bool bInsert = v->m_bInsertMode || v->m_bResumeInsert;
        Place at{std::uint32_t(v->m_nCaretPos), v->m_bHighNibble || v->m_bResumeInsert};
        bool bPaused = v->m_bResumeInsert && !keys.isEmpty();
        if (bPaused)
            at.nPos = std::min(at.nPos + 1, Length());
        if (v->HasSelection())
            at.nPos = v->GetSelection().End();
        const bool bExtends = bShift && v->HasSelection() && !v->GetSelection().IsEmpty();
        const std::uint32_t nAnchor = bExtends ? v->GetSelection().Anchor() : at.nPos;
        for (const QString& key : keys) {
            if (!(bPaused && key == QLatin1String("Right")))
                at = Moved(key, at, bInsert);
            bPaused = false;
        }
        const QString joined = keys.join(QLatin1Char(' '));
        if (bShift) {
            m_window.WithShift(joined);
            ExpectSelection(nAnchor, at.bHigh, {}, nAnchor, at.nPos, true);
            return QStringLiteral("Shift+") + joined;
        }
        for (const QString& key : keys)
            m_window.Press(key);
        ExpectCaret(at.nPos, at.bHigh);
        return joined;
    }

    // The byte a click (or the end of a drag) on the cell at nColumn, nLine
    // lands on, and whether in the hex column: a pair's digit its byte, a
    // blank the byte after it, a text cell its byte; past the last byte the
    // end marker. A drag right of the text column takes in the whole row. Other
    // cells have rules of their own and give nothing.
    struct Hit {
        Place at;
        bool bHex;
    };
    std::optional<Hit> HitOf(int nColumn, int nLine, bool bDrag) const
    {
        if (nLine < 0 || nLine >= WholeLines()
            || !View()->viewport()->rect().contains(m_window.CellCentre(nColumn, nLine)))
            return std::nullopt;
        const std::uint32_t nLastRow = Length() / 16;
        const std::uint32_t nRow = std::min(TopRow() + std::uint32_t(nLine), nLastRow);
        std::uint32_t nOffset = 0;
        bool bHigh = true;
        bool bHex = true;
        if (nColumn >= 10 && nColumn <= 57) {
            // Bytes 8-15 stand one cell further right than bytes 0-7.
            const int c = nColumn - 10 - (nColumn >= 34 ? 1 : 0);
            nOffset = nRow * 16 + std::uint32_t(c / 3 + (c % 3 == 2 ? 1 : 0));
            bHigh = c % 3 != 1;
        } else if (nColumn >= 62 && nColumn <= 77) {
            nOffset = nRow * 16 + std::uint32_t(nColumn - 62);
            bHex = false;
        } else if (bDrag && nColumn >= 79) {
            nOffset = nRow < nLastRow ? (nRow + 1) * 16 : Length();
            bHigh = nRow == nLastRow;
            bHex = false;
        } else {
            return std::nullopt;
        }
        if (View()->m_bInsertMode || View()->m_bResumeInsert)
            bHigh = true;
        return Hit{{std::min(nOffset, Length()), bHigh}, bHex};
    }

    // What the view's state must be after the step: no selection shown, or
    // the one given.
    void ExpectCaret(std::uint32_t nCaret, std::optional<bool> bHigh = {}, std::optional<bool> bHex = {})
    {
        m_expected = Expected{nCaret, bHigh, bHex, false, 0, 0};
    }
    void ExpectSelection(std::uint32_t nCaret, std::optional<bool> bHigh, std::optional<bool> bHex,
                         std::uint32_t nAnchor, std::uint32_t nEnd, bool bShown)
    {
        m_expected = Expected{nCaret, bHigh, bHex, bShown, nAnchor, nEnd};
    }

    // A click on the cell at nColumn, nLine, checked against where it lands.
    QString ClickAt(int nColumn, int nLine)
    {
        const std::optional<Hit> hit = HitOf(nColumn, nLine, false);
        QTest::mouseClick(m_window.Mouse(), Qt::LeftButton, {}, m_window.CellCentre(nColumn, nLine));
        if (hit)
            ExpectCaret(hit->at.nPos, hit->at.bHigh, hit->bHex);
        return QStringLiteral("click (%1,%2)").arg(nColumn).arg(nLine);
    }

    // A step made of several, each checked as it is done.
    void Part(const QString& what)
    {
        if (!m_failure.isEmpty())
            return;
        const QString why = Check();
        if (!why.isEmpty())
            m_failure = what + QStringLiteral(": ") + why;
    }

    // A line showing a row below the first when the document has one.
    int LowerLine(CFuzzInput& in) const
    {
        const qint64 nShown = std::min<qint64>(WholeLines(), qint64(Length() / 16) - TopRow() + 1);
        const int nLines = int(std::max<qint64>(1, nShown));
        return nLines > 1 && TopRow() == 0 ? 1 + int(in.Below(std::uint32_t(nLines - 1)))
                                           : int(in.Below(std::uint32_t(std::max(1, nLines))));
    }

    // Digits typed over bytes 8-15 of a row, whose cells lie past the wider
    // blank in the middle of the row.
    QString OverwriteRightHalf(CFuzzInput& in)
    {
        if (View()->m_bInsertMode || View()->m_bResumeInsert) {
            m_window.Press(QStringLiteral("Ins"));
            Part(QStringLiteral("Insert"));
        }
        const int k = 8 + int(in.Below(8));
        const QString what = ClickAt(10 + 3 * k + 1 + int(in.Below(2)), LowerLine(in));
        Part(what);
        for (std::uint32_t n = 1 + in.Below(3); n > 0; --n)
            Part(TypeHexDigit(in));
        return QStringLiteral("overwrite right half: ") + what;
    }

    // Up, Down, Left or Right, alone or with Shift, from the first byte of a row.
    QString MoveFromRowStart(CFuzzInput& in)
    {
        const QString what = ClickAt(in.Bit() ? 10 : 62, LowerLine(in));
        Part(what);
        static const char* const kKeys[] = {"Up", "Down", "Left", "Right"};
        const QString key = QLatin1String(kKeys[in.Byte() % 4]);
        PressMoving({key}, in.Bit());
        CheckHighlight(key);
        return what + QLatin1Char(' ') + key;
    }

    // From a row start or byte 8 of a row, Shift+Up or Down and maybe back (a
    // selection both ways, grown and shrunk), or a drag to a row start or past
    // a row's end.
    QString SelectToRowBoundary(CFuzzInput& in)
    {
        static const int kColumns[] = {10, 62, 35, 36};
        QString what = ClickAt(kColumns[in.Byte() % 4], LowerLine(in));
        Part(what);
        if (in.Bit()) {
            static const char* const kRuns[] = {"Down", "Up", "Down Down", "Up Up", "Down Down Up", "Up Up Down",
                                                "Down Left", "Up Right", "Down Right Up", "Up Left Down"};
            what += QLatin1Char(' ') + PressMoving(QString::fromLatin1(kRuns[in.Byte() % 10]).split(' '), true);
        } else {
            const int nLine = int(in.Below(std::uint32_t(WholeLines())));
            const int nFrom = in.Bit() ? 10 + int(in.Below(48)) : 62 + int(in.Below(16));
            const int nTo = in.Bit() ? 10 : 79;
            what = Drag(nFrom, nLine, nTo, int(in.Below(std::uint32_t(WholeLines()))));
        }
        CheckHighlight(what);
        return what;
    }

    // A pattern of one byte repeated, which overlaps itself in a run of it.
    QString ReplaceRepeatedByte(CFuzzInput& in)
    {
        const char b = Length() > 0 ? m_model[int(in.Below(Length()))] : 'A';
        const QByteArray pattern(2 + int(in.Below(2)), b);
        QByteArray replacement;
        for (std::uint32_t i = in.Below(4); i > 0; --i)
            replacement.append(in.Bit() ? b : char(0x40 + in.Byte() % 4));
        const QString what = ReplaceAllBy(pattern, replacement, in.Bit());
        CheckHighlight(what);
        return what;
    }

    // A press on one cell, a move to another and the release there.
    QString Drag(int nFromColumn, int nFromLine, int nToColumn, int nToLine)
    {
        const std::optional<Hit> from = HitOf(nFromColumn, nFromLine, false);
        const QPoint a = m_window.CellCentre(nFromColumn, nFromLine);
        const QPoint b = m_window.CellCentre(nToColumn, nToLine);
        QTest::mousePress(m_window.Mouse(), Qt::LeftButton, {}, a);
        const std::optional<Hit> to = HitOf(nToColumn, nToLine, true);
        QTest::mouseMove(m_window.Mouse(), b);
        QTest::mouseRelease(m_window.Mouse(), Qt::LeftButton, {}, b);
        if (from && to)
            ExpectSelection(from->at.nPos, to->at.bHigh, to->bHex, from->at.nPos, to->at.nPos,
                            to->at.nPos != from->at.nPos);
        return QStringLiteral("drag (%1,%2)-(%3,%4)").arg(nFromColumn).arg(nFromLine).arg(nToColumn).arg(nToLine);
    }

    // A typed key ends a shown selection first; typing is tried without one.
    bool EndSelection()
    {
        if (!View()->HasSelection())
            return false;
        m_window.Press(QStringLiteral("Left"));
        return true;
    }

    QString TypeHexDigit(CFuzzInput& in)
    {
        if (EndSelection())
            return QStringLiteral("Left");
        const char ch = "0123456789abcdefABCDEF"[in.Byte() % 22];
        if (!m_bAimed)
            return TypeDigit(ch, QString(QLatin1Char(ch)));
        // The aimed session types odd digits on the keypad (Num Lock on), each
        // digit after a key that types nothing pressed alone: neither changes
        // what the digit does, nor ends a pending pause. They take no choice,
        // so the sessions stay the ones they were.
        static const char* const kAlone[] = {"Ctrl", "Shift", "Caps", "NumLock"};
        const QString alone = QLatin1String(kAlone[ch % 4]);
        m_window.Press(alone);
        const bool bKeypad = ch <= '9' && (ch - '0') % 2 == 1;
        return alone + QLatin1Char(' ')
            + TypeDigit(ch, bKeypad ? QStringLiteral("KP%1").arg(ch - '0') : QString(QLatin1Char(ch)));
    }

    // In the aimed session Ctrl goes down alone first, as for the command's
    // key: it neither scrolls nor drops the selection the command acts on.
    QString CutOrCopy(CFuzzInput& in)
    {
        if (m_bAimed && !CtrlAloneChangesNothing())
            return QStringLiteral("Ctrl");
        return CutOrCopyNow(in);
    }

    bool CtrlAloneChangesNothing()
    {
        const bool bShown = View()->HasSelection();
        const CSelection before = View()->GetSelection();
        const qint64 nScroll = View()->GetScrollPos(SB_VERT);
        m_window.Press(QStringLiteral("Ctrl"));
        if (View()->HasSelection() != bShown || View()->GetSelection() != before
            || View()->GetScrollPos(SB_VERT) != nScroll)
            m_failure = QStringLiteral("Ctrl alone scrolled or changed the selection");
        return m_failure.isEmpty();
    }

    QString TypeDigit(char ch, const QString& key)
    {
        const std::uint8_t v = std::uint8_t(ch <= '9' ? ch - '0' : (ch & ~0x20) - 'A' + 10);
        const std::uint32_t nCaret = View()->m_nCaretPos;
        ExpectTyped(true);
        if (!View()->m_bHexColumn)
            Insert(nCaret, std::uint8_t(ch), View()->m_bInsertMode);
        else if (View()->m_bInsertMode)
            m_model.insert(nCaret, char(v << 4));
        else if (nCaret < Length()) {
            const std::uint8_t old = std::uint8_t(m_model[nCaret]);
            m_model[nCaret] = char(View()->m_bHighNibble ? (v << 4) | (old & 0x0F) : (old & 0xF0) | v);
        }
        m_window.Press(key);
        return QStringLiteral("type ") + key;
    }

    // Letters past F end the pause after a first hex digit, in either column.
    QString TypeLetter(CFuzzInput& in)
    {
        if (EndSelection())
            return QStringLiteral("Left");
        const char ch = char('g' + in.Byte() % 20);
        const bool bInsert = View()->m_bInsertMode || View()->m_bResumeInsert;
        // Ending the pause puts the caret after the byte it completed.
        const std::uint32_t nCaret = View()->m_nCaretPos + (View()->m_bResumeInsert ? 1 : 0);
        ExpectTyped(false);
        if (!View()->m_bHexColumn)
            Insert(nCaret, std::uint8_t(ch), bInsert);
        m_window.Press(QString(QLatin1Char(ch)));
        return QStringLiteral("type %1").arg(QLatin1Char(ch));
    }

    // Where the caret goes for a typed character, from the state before it. A
    // character in the text column, or a byte's second digit, moves it to the
    // next byte; a first digit to the byte's low digit. In the hex column a
    // letter past F does nothing but end the pause after a first digit, which
    // moves it after that byte. On the end marker only inserting moves it.
    void ExpectTyped(bool bHexDigit)
    {
        const CHexView* v = View();
        const std::uint32_t nCaret = v->m_nCaretPos + (!bHexDigit && v->m_bResumeInsert ? 1 : 0);
        const bool bOnEnd = nCaret >= Length();
        if (!v->m_bHexColumn) {
            const bool bInsert = v->m_bInsertMode || (!bHexDigit && v->m_bResumeInsert);
            ExpectCaret(nCaret + (bInsert || !bOnEnd ? 1 : 0), v->m_bHighNibble || v->m_bResumeInsert);
        } else if (!bHexDigit) {
            ExpectCaret(nCaret, v->m_bHighNibble || v->m_bResumeInsert);
        } else if (v->m_bInsertMode) {
            ExpectCaret(nCaret, false);
        } else if (bOnEnd) {
            ExpectCaret(nCaret, v->m_bHighNibble);
        } else if (v->m_bResumeInsert || !v->m_bHighNibble) {
            ExpectCaret(nCaret + 1, true);
        } else {
            ExpectCaret(nCaret, false);
        }
    }

    void Insert(std::uint32_t nAt, std::uint8_t b, bool bInsert)
    {
        if (bInsert)
            m_model.insert(nAt, char(b));
        else if (nAt < Length())
            m_model[nAt] = char(b);
    }

    QString MoveByKeys(CFuzzInput& in)
    {
        static const char* const kKeys[] = {"Left", "Right", "Up", "Down", "Home", "End", "PgUp", "PgDn"};
        const QString key = QLatin1String(kKeys[in.Byte() % 8]);
        // Held with Shift, the page keys go as End.
        if (in.Bit())
            return PressMoving({key.startsWith(QLatin1String("Pg")) ? QStringLiteral("End") : key}, true);
        return PressMoving({key}, false);
    }

    QString ClickOrDrag(CFuzzInput& in)
    {
        const auto nLines = std::uint32_t(std::max(1, WholeLines()));
        const int nColumn = 10 + int(in.Below(69));
        const int nLine = int(in.Below(nLines));
        if (!in.Bit())
            return ClickAt(nColumn, nLine);
        const int nToColumn = 10 + int(in.Below(70));
        const int nToLine = int(in.Below(nLines + 2)) - 1;
        const QString what = Drag(nColumn, nLine, nToColumn, nToLine);
        CheckHighlight(what);
        return what;
    }

    QString Switch(CFuzzInput& in)
    {
        const bool bTab = in.Bit();
        m_window.Press(bTab ? QStringLiteral("Tab") : QStringLiteral("Ins"));
        return bTab ? QStringLiteral("Tab") : QStringLiteral("Insert");
    }

    // Deleting, cutting or pasting over a selection leaves the caret on its
    // start; deleting or pasting without one leaves the caret where it was.
    QString Delete()
    {
        const std::uint32_t nCaret = View()->HasSelection() ? SelStart() : View()->m_nCaretPos;
        if (View()->HasSelection())
            m_model.remove(SelStart(), SelLength());
        else if (View()->m_nCaretPos < Length())
            m_model.remove(View()->m_nCaretPos, 1);
        ExpectCaret(std::min(nCaret, Length()));
        View()->OnCmdMsg(ID_EDIT_CLEAR, nullptr);
        return QStringLiteral("Delete");
    }

    QString CutOrCopyNow(CFuzzInput& in)
    {
        const bool bCut = in.Bit();
        if (View()->HasSelection() && SelLength() > 0) {
            m_clipboard = m_model.mid(SelStart(), SelLength());
            if (bCut)
                m_model.remove(SelStart(), SelLength());
        }
        if (bCut && View()->HasSelection())
            ExpectCaret(std::min(SelStart(), Length()));
        View()->OnCmdMsg(bCut ? ID_EDIT_CUT : ID_EDIT_COPY, nullptr);
        return bCut ? QStringLiteral("Cut") : QStringLiteral("Copy");
    }

    QString Paste()
    {
        if (!m_clipboard.isEmpty()) {
            // A paste ends a pause after the byte it completed.
            const std::uint32_t nAt = View()->m_nCaretPos + (View()->m_bResumeInsert ? 1 : 0);
            const std::uint32_t nCaret = View()->HasSelection() ? SelStart() : nAt;
            if (View()->HasSelection())
                m_model.replace(SelStart(), SelLength(), m_clipboard);
            else
                m_model.insert(nAt, m_clipboard);
            ExpectCaret(std::min(nCaret, Length()));
        }
        View()->OnCmdMsg(ID_EDIT_PASTE, nullptr);
        return QStringLiteral("Paste");
    }

    // The pattern is taken from the bytes (or made up) and written as hex tokens.
    QString ReplaceAll(CFuzzInput& in)
    {
        QByteArray pattern;
        const std::uint32_t n = 1 + in.Byte() % 3;
        if (in.Bit() && Length() >= n)
            pattern = m_model.mid(in.Below(Length() - n + 1), n);
        else
            for (std::uint32_t i = 0; i < n; ++i)
                pattern.append(char(0x40 + in.Byte() % 4));
        QByteArray replacement;
        for (std::uint32_t i = in.Byte() % 4; i > 0; --i)
            replacement.append(char(0x40 + in.Byte() % 4));
        const QString what = ReplaceAllBy(pattern, replacement, in.Bit());
        CheckHighlight(what);
        return what;
    }

    // The selection ends over the last replacement.
    QString ReplaceAllBy(const QByteArray& pattern, const QByteArray& replacement, bool bMatchCase)
    {
        const auto n = std::uint32_t(pattern.size());
        const int nCodePage = m_window.doc.GetCodePage();
        const auto find = [&](std::uint32_t nFrom) {
            return Plain::Find(Bytes(), Length(), Bytes(pattern), n, nFrom, true, bMatchCase, nCodePage);
        };
        // The first occurrence: a shown selection when it is one, else the next
        // one down from its anchor, or without one from the caret.
        const bool bShown = !View()->ShownSelection().IsEmpty();
        std::int64_t nAt = -1;
        if (bShown && SelLength() == n && find(SelStart()) == SelStart())
            nAt = SelStart();
        else
            nAt = find(bShown ? View()->GetSelection().Anchor() : View()->m_nCaretPos);
        if (nAt >= 0) {
            QByteArray result = m_model.left(nAt);
            std::uint32_t nLastNew = 0;
            while (nAt >= 0) {
                nLastNew = std::uint32_t(result.size());
                result += replacement;
                const std::int64_t nNext = find(std::uint32_t(nAt + n));
                result += m_model.mid(nAt + n, (nNext < 0 ? Length() : nNext) - (nAt + n));
                nAt = nNext;
            }
            m_model = result;
            const std::uint32_t nAnchor = std::min(nLastNew, Length());
            ExpectSelection(nAnchor, {}, {}, nAnchor, nAnchor + std::uint32_t(replacement.size()), true);
        }
        View()->ReplaceAll(Hex(pattern), Hex(replacement), bMatchCase);
        return QStringLiteral("Replace All %1 by %2").arg(Hex(pattern), Hex(replacement));
    }

    QString ChangeCodePage(CFuzzInput& in)
    {
        static const unsigned kCommands[] = {ID_VIEW_CODEPAGE_GB,   ID_VIEW_CODEPAGE_BIG5,   ID_VIEW_CODEPAGE_SJIS,
                                             ID_VIEW_CODEPAGE_UTF8, ID_VIEW_CODEPAGE_KOREAN, ID_VIEW_CODEPAGE_WESTERN};
        const unsigned nID = kCommands[in.Byte() % 6];
        View()->OnCmdMsg(nID, nullptr);
        return QStringLiteral("code page %1").arg(m_window.doc.GetCodePage());
    }

    QString Save()
    {
        if (!m_window.doc.DoFileSave())
            return QStringLiteral("Save failed");
        m_bCheckFile = true;
        return QStringLiteral("Save");
    }

    QString Check()
    {
        if (m_window.Bytes() != m_model)
            return QStringLiteral("bytes %1, model %2").arg(Hex(m_window.Bytes()), Hex(m_model));
        if (m_expected) {
            const Expected e = *m_expected;
            m_expected.reset();
            const CHexView* v = View();
            const auto place = [](std::uint32_t nPos, bool bHigh) {
                return QStringLiteral("%1%2").arg(nPos).arg(bHigh ? QString() : QStringLiteral(" (low digit)"));
            };
            if (v->m_nCaretPos != e.nCaret || (e.bHigh && v->m_bHighNibble != *e.bHigh))
                return QStringLiteral("caret %1, expected %2")
                    .arg(place(v->m_nCaretPos, v->m_bHighNibble), place(e.nCaret, e.bHigh.value_or(v->m_bHighNibble)));
            if (e.bHex && v->m_bHexColumn != *e.bHex)
                return QStringLiteral("caret in the wrong column");
            if (v->HasSelection() != e.bSelection
                || (e.bSelection && (v->GetSelection().Anchor() != e.nAnchor || v->GetSelection().End() != e.nEnd)))
                return QStringLiteral("selection %1 %2-%3, expected %4 %5-%6")
                    .arg(v->HasSelection() ? "shown" : "hidden").arg(v->GetSelection().Anchor()).arg(v->GetSelection().End())
                    .arg(e.bSelection ? "shown" : "hidden").arg(e.nAnchor).arg(e.nEnd);
        }
        if (m_bCheckFile) {
            m_bCheckFile = false;
            if (TestSupport::readFile(m_window.doc.GetPathName()) != m_model)
                return QStringLiteral("the saved file differs");
        }
        QString why;
        CHexView* views[] = {m_window.pView.get(), m_pSecond.get()};
        const std::vector<bool> starts = Plain::PairStarts(m_window.doc.Data(), m_window.doc.GetSize(),
                                                           m_window.doc.GetCodePage());
        for (CHexView* pView : views) {
            if (!m_window.InvariantsHold(pView, &why))
                return why;
            if (pView->HasSelection() && pView->GetSelection().Beyond() > Length())
                return QStringLiteral("selection past the end");
            // The rows around the caret and the end, as each view's cache says.
            for (const auto nOffset : {std::uint32_t(View()->m_nCaretPos), Length()}) {
                const std::uint32_t nRow = nOffset / 16;
                const bool bContinued = nRow > 0 && starts[nRow * 16 - 1];
                if (pView->IsRowContinued(nRow, true) != bContinued)
                    return QStringLiteral("row %1 continued: view says %2").arg(nRow).arg(!bContinued);
            }
        }
        if (!m_messages.isEmpty())
            return QStringLiteral("message: ") + m_messages.join(QLatin1Char('|'));
        return QString();
    }

    // After a step of an aimed session that leaves a selection shown: what the
    // screen shows of it.
    void CheckHighlight(const QString& what)
    {
        Part(what);
        if (!m_failure.isEmpty() || !View()->HasSelection())
            return;
        const QString why = HighlightMismatch();
        if (!why.isEmpty())
            m_failure = what + QStringLiteral(": ") + why;
    }

    // The screen is read, not a fresh grab of the widget, which would repaint
    // it all and hide a strip left highlighted (EditWindow::Screen). A cell
    // counts as highlighted when its commonest colour, the background behind
    // its glyph, is not white. Every text cell of a character of one byte
    // shows whether its byte is selected; in the hex column both digits of
    // each pair do, and each blank between two pairs is highlighted when both
    // are selected. The hex highlight starts and ends on the caret's digit,
    // which the steps that select leave as it was when they selected: a low
    // digit leaves the first byte's high digit out and takes in the blank
    // before the end.
    QString HighlightMismatch() const
    {
        CHexView* v = View();
        QCoreApplication::processEvents();
        const QImage image = m_window.Screen();
        const std::uint32_t lo = SelStart();
        const std::uint32_t hi = lo + SelLength();
        const bool bHigh = v->m_bHighNibble;
        const auto selected = [&](std::uint32_t nOffset) { return nOffset >= lo && nOffset < hi; };
        const std::vector<bool> starts = Plain::PairStarts(m_window.doc.Data(), m_window.doc.GetSize(),
                                                           m_window.doc.GetCodePage());
        // Each line as a row of cells: x highlighted, . plain, blank not read.
        QString shown;
        QString expected;
        // A line cut by the window's top edge is left out.
        for (int nLine = v->CellToClient(0, 0).y() < 1 ? 1 : 0; nLine < WholeLines(); ++nLine) {
            QString lineShown(80, QLatin1Char(' '));
            QString lineExpected = lineShown;
            for (int k = 0; k < 16; ++k) {
                const std::uint32_t nOffset = (TopRow() + std::uint32_t(nLine)) * 16 + std::uint32_t(k);
                if (nOffset >= Length())
                    break;
                const auto cell = [&](int nColumn, bool bSelected) {
                    const QRect rect(v->CellToClient(nColumn, nLine), QSize(v->m_nCharWidth, int(v->m_nLineHeight)));
                    if (!image.rect().contains(rect))
                        return;
                    QHash<QRgb, int> counts;
                    for (int y = rect.top(); y <= rect.bottom(); ++y)
                        for (int x = rect.left(); x <= rect.right(); ++x)
                            ++counts[image.pixel(x, y)];
                    const auto most = std::max_element(counts.cbegin(), counts.cend());
                    lineShown[nColumn] = most.key() != qRgb(255, 255, 255) ? 'x' : '.';
                    lineExpected[nColumn] = bSelected ? 'x' : '.';
                };
                const int c = 10 + 3 * k + (k >= 8 ? 1 : 0);
                // A character of two bytes, or past ASCII, is drawn across cells.
                const bool bPaired = starts[nOffset] || (nOffset > 0 && starts[nOffset - 1]);
                if (!bPaired && std::uint8_t(m_model[int(nOffset)]) < 0x80)
                    cell(62 + k, selected(nOffset));
                cell(c, nOffset == lo ? hi > lo && bHigh : selected(nOffset));
                cell(c + 1, selected(nOffset));
                if (k < 15)
                    cell(c + 2, nOffset + 1 == hi ? hi > lo && !bHigh : selected(nOffset) && selected(nOffset + 1));
                // The second blank in the middle of the row lies past the
                // highlight of a selection ending on byte 8 whatever the digit.
                if (k == 7)
                    cell(c + 3, selected(nOffset) && selected(nOffset + 1));
            }
            while (lineShown.endsWith(QLatin1Char(' ')))
                lineShown.chop(1);
            while (lineExpected.endsWith(QLatin1Char(' ')))
                lineExpected.chop(1);
            shown += lineShown + QLatin1Char('\n');
            expected += lineExpected + QLatin1Char('\n');
        }
        if (shown == expected)
            return QString();
        return QStringLiteral("highlight of %1-%2 from row %3:\n%4expected\n%5")
            .arg(lo).arg(hi).arg(TopRow()).arg(shown, expected);
    }

    const std::uint8_t* Bytes() const { return reinterpret_cast<const std::uint8_t*>(m_model.constData()); }
    static const std::uint8_t* Bytes(const QByteArray& b) { return reinterpret_cast<const std::uint8_t*>(b.constData()); }
    static QString Hex(const QByteArray& b) { return QString::fromLatin1(b.toHex(' ')); }

    QTemporaryDir m_dir;
    QStringList m_messages;
    // No step may need a message box (a missing font, a refused edit).
    struct MessageSeam {
        MessageBoxHandler previous;
        explicit MessageSeam(QStringList& messages)
            : previous(AfxSetMessageBoxHandler([&messages](const QString& text, unsigned) {
                  messages << text;
                  return IDOK;
              }))
        {
        }
        ~MessageSeam() { AfxSetMessageBoxHandler(previous); }
    } m_messageSeam{m_messages};
    MainFrame m_frame;
    CMemoryClipboard m_clipboardSeam;
    EditWindow m_window;
    QByteArray m_model;
    QByteArray m_clipboard;
    std::unique_ptr<CHexView> m_pSecond;
    bool m_bAimed;
    bool m_bCheckFile = false;

    struct Expected {
        std::uint32_t nCaret;
        std::optional<bool> bHigh;
        std::optional<bool> bHex;
        bool bSelection;
        std::uint32_t nAnchor;
        std::uint32_t nEnd;
    };
    std::optional<Expected> m_expected;
    // The first check that failed within a step made of several.
    QString m_failure;
};
