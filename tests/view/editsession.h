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
// continuation both views report agreeing with a walk from offset 0.

#include "afxmsg.h"
#include "codepage.h"
#include "editfixture.h"
#include "fuzzinput.h"
#include "plainrules.h"
#include "resource.h"
#include "testsupport.h"

#include <QTemporaryDir>

#include <algorithm>
#include <vector>

class CEditSession {
public:
    explicit CEditSession(const QByteArray& bytes)
        : m_window(bytes, QSize(700, 160)), m_model(bytes), m_pSecond(m_window.OpenView(QSize(500, 120)))
    {
        m_window.doc.SetPathName(m_dir.path() + QStringLiteral("/edited.bin"));
        m_window.pView->activateWindow();
    }

    // Runs steps until the choices run out or nSteps were made; returns what
    // went wrong, or an empty string.
    QString Run(CFuzzInput& in, int nSteps)
    {
        for (int nStep = 0; nStep < nSteps && !in.AtEnd(); ++nStep) {
            const QString what = Step(in);
            const QString why = Check();
            if (!why.isEmpty())
                return QStringLiteral("step %1 (%2): %3").arg(nStep).arg(what, why);
        }
        return QString();
    }

    QByteArray Model() const { return m_model; }

private:
    CHexView* View() const { return m_window.pView.get(); }
    std::uint32_t Length() const { return std::uint32_t(m_model.size()); }
    std::uint32_t SelStart() const { return std::min(View()->m_nSelAnchor, View()->m_nSelEnd); }
    std::uint32_t SelLength() const
    {
        return std::max(View()->m_nSelAnchor, View()->m_nSelEnd) - SelStart();
    }

    QString Step(CFuzzInput& in)
    {
        switch (in.Byte() % 12) {
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
        default:
            return Save();
        }
    }

    // A typed key ends a shown selection first; typing is tried without one.
    bool EndSelection()
    {
        if (!View()->m_bSelection)
            return false;
        m_window.Press(QStringLiteral("Left"));
        return true;
    }

    QString TypeHexDigit(CFuzzInput& in)
    {
        if (EndSelection())
            return QStringLiteral("Left");
        const char ch = "0123456789abcdefABCDEF"[in.Byte() % 22];
        const std::uint8_t v = std::uint8_t(ch <= '9' ? ch - '0' : (ch & ~0x20) - 'A' + 10);
        const std::uint32_t nCaret = View()->m_nCaretPos;
        if (!View()->m_bHexColumn)
            Insert(nCaret, std::uint8_t(ch), View()->m_bInsertMode);
        else if (View()->m_bInsertMode)
            m_model.insert(nCaret, char(v << 4));
        else if (nCaret < Length()) {
            const std::uint8_t old = std::uint8_t(m_model[nCaret]);
            m_model[nCaret] = char(View()->m_bHighNibble ? (v << 4) | (old & 0x0F) : (old & 0xF0) | v);
        }
        m_window.Press(QString(QLatin1Char(ch)));
        return QStringLiteral("type %1").arg(QLatin1Char(ch));
    }

    // Letters past F end the pause after a first hex digit, in either column.
    QString TypeLetter(CFuzzInput& in)
    {
        if (EndSelection())
            return QStringLiteral("Left");
        const char ch = char('g' + in.Byte() % 20);
        const bool bInsert = View()->m_bInsertMode || View()->m_bResumeInsert;
        if (!View()->m_bHexColumn)
            Insert(View()->m_nCaretPos, std::uint8_t(ch), bInsert);
        m_window.Press(QString(QLatin1Char(ch)));
        return QStringLiteral("type %1").arg(QLatin1Char(ch));
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
        if (in.Bit()) {
            m_window.WithShift(key);
            return QStringLiteral("Shift+") + key;
        }
        m_window.Press(key);
        return key;
    }

    QString ClickOrDrag(CFuzzInput& in)
    {
        const int nLines = std::max(1, View()->m_nClientHeight / int(std::max(1u, View()->m_nLineHeight)));
        const QPoint from = m_window.CellCentre(10 + int(in.Below(69)), int(in.Below(std::uint32_t(nLines))));
        QTest::mousePress(m_window.Mouse(), Qt::LeftButton, {}, from);
        QPoint to = from;
        if (in.Bit()) {
            to = m_window.CellCentre(10 + int(in.Below(70)), int(in.Below(std::uint32_t(nLines + 2))) - 1);
            QTest::mouseMove(m_window.Mouse(), to);
        }
        QTest::mouseRelease(m_window.Mouse(), Qt::LeftButton, {}, to);
        return QStringLiteral("drag (%1,%2)-(%3,%4)").arg(from.x()).arg(from.y()).arg(to.x()).arg(to.y());
    }

    QString Switch(CFuzzInput& in)
    {
        const bool bTab = in.Bit();
        m_window.Press(bTab ? QStringLiteral("Tab") : QStringLiteral("Ins"));
        return bTab ? QStringLiteral("Tab") : QStringLiteral("Insert");
    }

    QString Delete()
    {
        if (View()->m_bSelection)
            m_model.remove(SelStart(), SelLength());
        else if (View()->m_nCaretPos < Length())
            m_model.remove(View()->m_nCaretPos, 1);
        View()->OnCmdMsg(ID_EDIT_CLEAR, nullptr);
        return QStringLiteral("Delete");
    }

    QString CutOrCopy(CFuzzInput& in)
    {
        const bool bCut = in.Bit();
        if (View()->m_bSelection && SelLength() > 0) {
            m_clipboard = m_model.mid(SelStart(), SelLength());
            if (bCut)
                m_model.remove(SelStart(), SelLength());
        }
        View()->OnCmdMsg(bCut ? ID_EDIT_CUT : ID_EDIT_COPY, nullptr);
        return bCut ? QStringLiteral("Cut") : QStringLiteral("Copy");
    }

    QString Paste()
    {
        if (!m_clipboard.isEmpty()) {
            if (View()->m_bSelection)
                m_model.replace(SelStart(), SelLength(), m_clipboard);
            else
                m_model.insert(View()->m_nCaretPos, m_clipboard);
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
        const bool bMatchCase = in.Bit();

        // The first occurrence: the selection when it is one, else the next one
        // from the anchor down.
        const std::uint32_t nAnchor = View()->m_nSelAnchor;
        std::int64_t nAt = -1;
        if (View()->m_nSelAnchor != View()->m_nSelEnd && SelLength() == n
            && Plain::Find(Bytes(), Length(), Bytes(pattern), n, SelStart(), true, bMatchCase) == SelStart())
            nAt = SelStart();
        else
            nAt = Plain::Find(Bytes(), Length(), Bytes(pattern), n, nAnchor, true, bMatchCase);
        if (nAt >= 0) {
            QByteArray result = m_model.left(nAt);
            while (nAt >= 0) {
                result += replacement;
                const std::int64_t nNext = Plain::Find(Bytes(), Length(), Bytes(pattern), n, std::uint32_t(nAt + n),
                                                       true, bMatchCase);
                result += m_model.mid(nAt + n, (nNext < 0 ? Length() : nNext) - (nAt + n));
                nAt = nNext;
            }
            m_model = result;
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
        return QStringLiteral("code page %1").arg(m_window.doc.m_nCodePage);
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
        if (m_bCheckFile) {
            m_bCheckFile = false;
            if (TestSupport::readFile(m_window.doc.GetPathName()) != m_model)
                return QStringLiteral("the saved file differs");
        }
        QString why;
        CHexView* views[] = {m_window.pView.get(), m_pSecond.get()};
        const std::vector<bool> starts = Plain::PairStarts(m_window.doc.m_pData, m_window.doc.m_nSize,
                                                           m_window.doc.m_nCodePage);
        for (CHexView* pView : views) {
            if (!m_window.InvariantsHold(pView, &why))
                return why;
            if (pView->m_bSelection && std::max(pView->m_nSelAnchor, pView->m_nSelEnd) > Length())
                return QStringLiteral("selection past the end");
            // The rows around the caret and the end, as each view's cache says.
            for (const std::uint32_t nOffset : {View()->m_nCaretPos, Length()}) {
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
    bool m_bCheckFile = false;
};
