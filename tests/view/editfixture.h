#pragma once

// A document shown in a real CHexView, for the caret, input and editing tests,
// with a status bar that shows what the views report and an in-memory
// clipboard.

#include "afxres.h"
#include "clipboard.h"
#include "hexdoc.h"
#include "hexview.h"
#include "mdiframewnd.h"
#include "statusbar.h"
#include "winapp.h"

#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>

#include <cstring>
#include <memory>

class CMemoryClipboard : public CClipboard {
public:
    CMemoryClipboard() : m_pPrevious(CClipboard::SetInstance(this)) {}
    ~CMemoryClipboard() override { CClipboard::SetInstance(m_pPrevious == this ? nullptr : m_pPrevious); }

    // Another program's text on the clipboard.
    void SetForeignText(const QString& text)
    {
        auto* pData = new QMimeData;
        pData->setText(text);
        SetMimeData(pData);
    }
    void Clear() { m_pData.reset(); }

    const QMimeData* MimeData() const override { return m_pData.get(); }
    void SetMimeData(QMimeData* pData) override { m_pData.reset(pData); }

private:
    CClipboard* m_pPrevious;
    std::unique_ptr<QMimeData> m_pData;
};

// The application's main frame with the status bar of the program: panes 0
// (messages), 1 (byte count), 2 (edit mode) and 4 (caret). While it lives,
// every view an EditWindow opens reports to it, as the program's main frame
// shows what its active view reports.
struct MainFrame {
    static constexpr int kCaretPane = 4;
    CWinApp app{QStringLiteral("Zorbel")};
    CMDIFrameWnd frame;
    CStatusBar* pBar = new CStatusBar(&frame);
    static inline MainFrame* s_pShowing = nullptr;

    MainFrame()
    {
        frame.setStatusBar(pBar);
        pBar->SetIndicators({ID_SEPARATOR, ID_SEPARATOR, ID_INDICATOR_OVR, ID_INDICATOR_NUM, ID_SEPARATOR});
        app.SetMainWnd(&frame);
        s_pShowing = this;
    }
    ~MainFrame()
    {
        s_pShowing = nullptr;
        app.SetMainWnd(nullptr);
    }

    void Show(CHexView* pView) const
    {
        CStatusBar* bar = pBar;
        QObject::connect(pView, &CHexView::statusMessage, bar, [bar](const QString& s) { bar->SetPaneText(0, s); });
        QObject::connect(pView, &CHexView::byteCountChanged, bar, [bar](const QString& s) { bar->SetPaneText(1, s); });
        QObject::connect(pView, &CHexView::editModeChanged, bar, [bar](const QString& s) { bar->SetPaneText(2, s); });
        QObject::connect(pView, &CHexView::caretChanged, bar,
                         [bar](const QString& s) { bar->SetPaneText(kCaretPane, s); });
    }
};

struct EditWindow {
    CHexDoc doc;
    std::unique_ptr<CHexView> pView;

    explicit EditWindow(const QByteArray& bytes, QSize size = QSize(1000, 300))
    {
        SetBytes(bytes);
        pView = OpenView(size);
    }

    std::unique_ptr<CHexView> OpenView(QSize size = QSize(1000, 300))
    {
        auto pNew = std::make_unique<CHexView>();
        if (MainFrame::s_pShowing)
            MainFrame::s_pShowing->Show(pNew.get());
        pNew->AttachDocument(&doc);
        pNew->Create();
        pNew->resize(size);
        pNew->show();
        pNew->activateWindow();
        if (!QTest::qWaitForWindowActive(pNew.get()))
            qWarning("the view's window did not become active");
        pNew->OnInitialUpdate();
        pNew->viewport()->repaint();
        return pNew;
    }

    void SetBytes(const QByteArray& bytes)
    {
        doc.SetContents(bytes);
    }

    QByteArray Bytes() const { return QByteArray(reinterpret_cast<const char*>(doc.Data()), doc.GetSize() - 1); }
    // The bytes the document writes to a file.
    QByteArray SavedBytes(const QString& path)
    {
        if (!doc.OnSaveDocument(path))
            return "save failed";
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
    }
    CHexView* operator->() const { return pView.get(); }
    QWidget* Keys() const { return pView.get(); }
    QWidget* Mouse() const { return pView->viewport(); }

    // The middle of cell (column, line) in client coordinates.
    QPoint CellCentre(int nColumn, int nLine) const
    {
        return pView->CellToClient(nColumn, nLine) + QPoint(pView->m_nCharWidth / 2, int(pView->m_nLineHeight) / 2);
    }
    QRgb Pixel(const QImage& image, int nColumn, int nLine) const { return image.pixel(CellCentre(nColumn, nLine)); }
    QImage Grab() const { return pView->viewport()->grab().toImage(); }
    // What the screen shows of the view: a fresh rendering, as Grab makes,
    // would hide pixels left over from an earlier paint.
    QImage Screen() const
    {
        QWidget* pViewport = pView->viewport();
        const QPoint at = pViewport->mapTo(pViewport->window(), QPoint());
        return pViewport->screen()
            ->grabWindow(pViewport->window()->winId(), at.x(), at.y(), pViewport->width(), pViewport->height())
            .toImage();
    }

    // Keys as a person types them: "A" a character key, "S+A" with Shift pressed
    // for it and released,
    // "KP7" the keypad's 7, and named keys.
    void Type(const QString& keys) const
    {
        for (const QString& key : keys.split(' ', Qt::SkipEmptyParts))
            Press(key);
    }

    void Press(const QString& key) const
    {
        static const QHash<QString, Qt::Key> named = {
            {"Left", Qt::Key_Left},   {"Right", Qt::Key_Right},   {"Up", Qt::Key_Up},       {"Down", Qt::Key_Down},
            {"Home", Qt::Key_Home},   {"End", Qt::Key_End},       {"PgUp", Qt::Key_PageUp}, {"PgDn", Qt::Key_PageDown},
            {"Ins", Qt::Key_Insert},  {"Tab", Qt::Key_Tab},       {"Esc", Qt::Key_Escape},  {"Ret", Qt::Key_Return},
            {"Space", Qt::Key_Space}, {"Ctrl", Qt::Key_Control}, {"Shift", Qt::Key_Shift}, {"Alt", Qt::Key_Alt},
            {"Caps", Qt::Key_CapsLock}, {"NumLock", Qt::Key_NumLock},
        };
        if (key.startsWith("S+") && key.size() == 3) {
            // Shift goes down and up around the key, as for every capital typed.
            const QChar ch = key[2];
            QTest::simulateEvent(Keys(), true, Qt::Key_Shift, Qt::NoModifier, QString(), false);
            QTest::sendKeyEvent(QTest::Click, Keys(), Qt::Key(ch.toUpper().unicode()), QString(ch.toUpper()),
                                Qt::ShiftModifier);
            QTest::simulateEvent(Keys(), false, Qt::Key_Shift, Qt::ShiftModifier, QString(), false);
        } else if (key.startsWith("KP")) {
            QTest::keyClick(Keys(), Qt::Key(Qt::Key_0 + key.mid(2).toInt()), Qt::KeypadModifier);
        } else if (named.contains(key)) {
            QTest::keyClick(Keys(), named.value(key));
        } else {
            const QChar ch = key[0];
            QTest::sendKeyEvent(QTest::Click, Keys(), Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
        }
    }

    // Holds Shift down over a run of keys, as a person selecting does; "C+Home"
    // is Ctrl+Home with Shift.
    void WithShift(const QString& keys) const
    {
        QTest::simulateEvent(Keys(), true, Qt::Key_Shift, Qt::NoModifier, QString(), false);
        for (QString key : keys.split(' ', Qt::SkipEmptyParts)) {
            Qt::KeyboardModifiers modifiers = Qt::ShiftModifier;
            if (key.startsWith("C+")) {
                modifiers |= Qt::ControlModifier;
                key = key.mid(2);
            }
            Qt::Key code = key == "Right" ? Qt::Key_Right : key == "Left" ? Qt::Key_Left
                         : key == "Up"    ? Qt::Key_Up    : key == "Down" ? Qt::Key_Down
                         : key == "PgUp"  ? Qt::Key_PageUp : key == "PgDn" ? Qt::Key_PageDown
                         : key == "Home"  ? Qt::Key_Home  : Qt::Key_End;
            QTest::simulateEvent(Keys(), true, code, modifiers, QString(), false);
            QTest::simulateEvent(Keys(), false, code, modifiers, QString(), false);
        }
        QTest::simulateEvent(Keys(), false, Qt::Key_Shift, Qt::ShiftModifier, QString(), false);
    }

    // Checks what no edit may break.
    bool InvariantsHold(QString* pWhy = nullptr) const { return InvariantsHold(pView.get(), pWhy); }

    // The same for another view of the document.
    bool InvariantsHold(const CHexView* v, QString* pWhy) const
    {
        QString why;
        if (doc.GetSize() < 1)
            why = "empty buffer";
        else if (doc.Data()[doc.GetSize() - 1] != 0xFF)
            why = "end marker changed";
        else if (v->m_nRows != (qint64(doc.GetSize()) + 15) / 16)
            why = QString("rows %1 for size %2").arg(v->m_nRows).arg(doc.GetSize());
        else if (v->m_nCaretPos > doc.Length() || v->GetSelection().Anchor() > doc.Length()
                 || v->GetSelection().End() > doc.Length())
            why = QString("caret %1 anchor %2 end %3 past %4")
                      .arg(v->m_nCaretPos).arg(v->GetSelection().Anchor()).arg(v->GetSelection().End()).arg(doc.GetSize() - 1);
        else if (v->m_bInsertMode && !v->m_bHighNibble)
            why = "insert mode on a low digit";
        if (pWhy)
            *pWhy = why;
        return why.isEmpty();
    }
};
