#pragma once

#include <QDockWidget>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <memory>
#include <vector>

class CHexDoc;
class CHexView;
class CStringScanner;
class CStringsModel;
struct CTextRun;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableView;

// The Strings panel: the runs of text in the document of one window, in its
// code page (see CStringScanner), as offset, length and text, with a filter
// on the text. Enter or a double-click selects a run in the rows.
//
// The scan runs on a thread of the panel's own, one part at a time: the
// panel copies a part of the document (kPartBytes at most) on the interface's
// thread and hands the copy over, so the scan never reads the document while
// an edit changes it. Results come back part by part, the first part short,
// so that the first screen shows at once. Any change of the document, its
// code page or the options starts the scan over (an edit after a short
// pause) unless the change can be mended by scanning only around it; Esc
// stops a scan under way, wherever the focus is in the panel's window; the
// progress of a scan that lasts shows in the window's status bar. While the panel is hidden nothing is
// scanned: it scans when it shows.
class CStringsPanel : public QDockWidget {
    Q_OBJECT

public:
    static constexpr std::uint32_t kFirstPartBytes = 1u << 16;
    static constexpr std::uint32_t kPartBytes = 1u << 22;
    static constexpr std::uint32_t kRefreshBytes = 1u << 20;
    // How long a scan runs before its progress shows, in milliseconds.
    static constexpr int kProgressDelay = 300;

    explicit CStringsPanel(QWidget* pParent = nullptr);
    ~CStringsPanel() override;

    void SetView(CHexView* pView);
    CHexView* View() const;

    QTableView* Table() const { return m_pTable; }
    QLineEdit* Filter() const { return m_pFilter; }
    QSpinBox* MinLength() const { return m_pMin; }
    QCheckBox* NonAsciiOnly() const { return m_pNonAscii; }
    bool IsScanning() const { return m_bScanning; }
    // The lines Export writes for the runs listed (see CStringScanner::AppendLine).
    QByteArray ExportText() const;
    bool ExportTo(const QString& path);
    void ShowAndFocus();

signals:
    void scanFinished();
    // A scan that has run for a moment shows its progress (bytes done of
    // nTotal) wherever the window shows progress, until progressEnded.
    void progressChanged(const QString& text, qint64 nDone, qint64 nTotal);
    void progressEnded();

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;
    // Keys the panel's widgets leave stop here: passed on to the main window
    // they would reach its accelerators, and Delete would delete bytes.
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    void Rescan();
    void StopScan();
    void SendPart();
    void OnPartScanned(int nGeneration, std::uint64_t nNext, std::vector<CTextRun>& runs);
    void OnDocumentChanged(qint64 nPos, qint64 nRemoved, qint64 nInserted);
    // Mends the list after a change of the document it showed; false when
    // that would scan more than kRefreshBytes.
    bool RefreshAround(qint64 nPos, qint64 nRemoved, qint64 nInserted);
    void SelectRun(const QModelIndex& index);
    void Export();
    void ShowCount();
    void EndProgress();

    QSpinBox* m_pMin;
    QCheckBox* m_pNonAscii;
    QLineEdit* m_pFilter;
    QTableView* m_pTable;
    QLabel* m_pStatus;
    CStringsModel* m_pModel;

    QPointer<CHexView> m_pView;
    QPointer<CHexDoc> m_pDoc;
    QList<QMetaObject::Connection> m_connections;

    // The scan: its thread, the object whose thread it is, and the scanner of
    // the scan under way, used only on that thread while a part is out.
    QThread m_thread;
    QObject* m_pScanContext;
    std::shared_ptr<CStringScanner> m_pScanner;
    int m_nGeneration = 0;
    bool m_bScanning = false;
    bool m_bStale = true;       // the list does not show the document as it is
    bool m_bFirstPart = true;
    bool m_bProgressShown = false;
    QElapsedTimer m_scanClock;
    QTimer m_rescanTimer;
};
