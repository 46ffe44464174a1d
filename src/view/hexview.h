#pragma once

#include "edithistory.h"
#include "hexdoc.h"
#include "logfont.h"
#include "rowformat.h"
#include "scrollview.h"
#include "selection.h"
#include "tablerow.h"
#include "textencoder.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QString>

#include <cstdint>
#include <vector>

class CBytePattern;
class CCmdUI;
class CRowPainter;
class CFindReplaceDialog;
class CPerFileValues;

// The view of a document window: the document's bytes as rows of 16 in a
// 79-column block (see CRowFormat), centred in the window, with a caret, a
// selection shown as two highlight regions, editing, find and printing.
//
// The class is spread over one source per concern: hexview.cpp (construction,
// command table, first display, size and scroll sizes), hexview_paint.cpp,
// hexview_fonts.cpp and those named below.
//
// Geometry: column c of row r starts at x = m_nLeftMargin + c * m_nCharWidth and
// its text at y = r * m_nLineHeight + 1, in document coordinates; the scroll
// position moves the origin. Every single-byte character takes one cell and every
// double-byte character two, whatever the font's own advances. A cell is as wide
// as the screen font's half-width glyphs and a row as high as its line spacing:
// they are measured again whenever the font changes (code page, text size), and
// the block, caret and highlight follow.
class CHexView : public CScrollView {
    Q_OBJECT

public:
    explicit CHexView(QWidget* pParent = nullptr);
    ~CHexView() override;

    CHexDoc* GetDocument() const;

    // Resets the caret and selection, detects the document's code page, sets up
    // the font for it and sizes the rows.
    void OnInitialUpdate() override;

    // The colours of the rows and of the two-tone highlight. Under a light
    // palette (base lighter than text) they are fixed: black on white, the
    // caret column's highlight white on dark grey, the other column's dark grey
    // on light grey. Under a dark palette they are the palette's text on its
    // base, with the greys placed between them as the light ones are.
    struct Colours {
        QColor plainText;
        QColor plainBack;
        QColor caretColumnText;
        QColor caretColumnBack;
        QColor otherColumnText;
        QColor otherColumnBack;
    };
    Colours GetColours() const;

    // Geometry and painting.
    void UpdateScrollSizes();
    // The whole 79-column block and kPreferredRows rows: the size a document
    // window opens with when the area allows.
    static constexpr int kPreferredRows = 25;
    // The columns of a row whose offset has the usual ten.
    static constexpr int kRowColumns = 79;
    QSize sizeHint() const override;
    bool FormatRow(qint64 nRow, QByteArray& strRow, bool bContinued) const;
    bool IsRowContinued(qint64 nRow, bool bAtStart);
    // Rows nFirst to nLast as painting and printing draw them: each row's
    // string, and while the document shows a character table, its text
    // column's cells read through it.
    struct FormattedRow {
        qint64 nRow = 0;
        QByteArray strRow;
        std::vector<CTableCell> cells;
    };
    std::vector<FormattedRow> FormatRows(qint64 nFirst, qint64 nLast);
    // Draws a row of FormatRows as row nAt of the painter.
    void DrawFormattedRow(CRowPainter& painter, const FormattedRow& row, qint64 nAt) const;

    // Display code page and fonts (hexview_fonts.cpp). SetupScreenFont sets the
    // document's code page (or the system's when no font holds it); every view
    // of the document then takes the font for it.
    void SetupScreenFont(int nCodePage);
    static std::uint8_t CharsetFromCodePage(int nCodePage);
    void OnCodePageGB();
    void OnCodePageBig5();
    void OnCodePageSjis();
    bool ShowsCodePage(int nCodePage) const;
    void OnUpdateCodePageGB(CCmdUI* pCmdUI);
    void OnUpdateCodePageBig5(CCmdUI* pCmdUI);
    void OnUpdateCodePageSjis(CCmdUI* pCmdUI);

    // Text size: the screen font's pixel height, changed by Zoom In, Zoom Out,
    // Normal Size and Ctrl with the wheel. The last size chosen is kept in the
    // settings profile for the next window.
    static constexpr int kDefaultFontHeight = 16;
    static constexpr int kMinFontHeight = 8;
    static constexpr int kMaxFontHeight = 64;
    static constexpr int kFontHeightStep = 2;
    void SetFontHeight(int nHeight);
    int GetFontHeight() const { return m_nFontHeight; }
    // The size kept in the services' profile, or the default.
    int GetStoredFontHeight() const;

    // Command enabling and what the status bar shows (hexview_cmdui.cpp). The
    // view only reports, by the signals below; whoever shows a view (the main
    // frame, for the active document window's) connects them. Each Update
    // emits the text as it is now, also when it did not change: the view calls
    // it when the value may have changed, the frame when it shows another view.
    //
    // The document's length: byteCountChanged.
    void UpdateByteCount();
    // Where the caret is: its offset, and with a selection the selection's
    // first and last offset and its length. While a selection shows, the caret
    // stands at its moving end (m_nSelEnd). Every caret move calls this.
    void UpdateCaretPane();
    // The edit mode the user chose: editModeChanged.
    void UpdateModePane();
    // Refusals and warnings that need no answer: statusMessage.
    void ShowStatusMessage(const QString& strText);

signals:
    // A message for the status bar's message pane.
    void statusMessage(const QString& strText);
    // "N Byte(s)", the document's length.
    void byteCountChanged(const QString& strText);
    // "INS" or "OVR".
    void editModeChanged(const QString& strText);
    // Where the caret is, and the widest such text in this document, for a
    // pane that does not jump as the caret moves.
    void caretChanged(const QString& strText, const QString& strWidest);
    // The same move as numbers, for panels that follow the caret: the caret's
    // offset (a selection's moving end), and the selection's first byte and
    // length (nLength 0 without one). Emitted on every caret move.
    void caretMoved(qint64 nCaret, qint64 nSelFirst, qint64 nSelLength);

public:
    // Printing (hexview_print.cpp): the printer fonts, the page count and each
    // page's header, rows and footer.
    bool OnPreparePrinting(CPrintInfo* pInfo) override;
    void OnBeginPrinting(QPainter* pDC, CPrintInfo* pInfo) override;
    void OnPrint(QPainter* pDC, CPrintInfo* pInfo) override;
    void OnEndPrinting(QPainter* pDC, CPrintInfo* pInfo) override;
    void PrintHeader(QPainter* pDC, unsigned nPage);
    void PrintRows(QPainter* pDC, unsigned nPage);
    void PrintFooter(QPainter* pDC, CPrintInfo* pInfo);

    // Caret, selection, keyboard, mouse and editing (hexview_caret.cpp,
    // hexview_input.cpp, hexview_edit.cpp).
    //
    // Cells are (column, line): the column in the 79-column block, the line
    // counted from the first visible row. OffsetToCell gives an offset's hex cell
    // (on the caret's digit), its line raised to 0 when above the window;
    // ConvertColumn turns a hex cell into its text cell and a text column into
    // its byte's hex column. CellToClient gives a cell's top-left pixel, where its
    // row's text is drawn; caret, highlight and hit test all go through it.
    QPoint OffsetToCell(qint64 nOffset);
    void ConvertColumn(int& nColumn, int& nLine);
    QPoint CellToClient(int nColumn, int nLine) const;
    void ResetCaret();
    void PlaceCaret();
    void MoveLeft();
    void MoveRight();
    void ScrollDownToCaret(qint64 nOffset);
    void ScrollUpToCaret();
    void OnVScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar) override;
    void OnHScroll(unsigned nSBCode, unsigned nPos, QScrollBar* pScrollBar) override;
    void ExtendSelection(qint64 nEnd);
    void ShowSelection(qint64 a, qint64 b);
    void BuildHexRegion(qint64 a, qint64 b);
    void BuildTextRegion(qint64 a, qint64 b);
    void OnActivateView(bool bActivate, CView* pActivateView, CView* pDeactiveView) override;
    // Called by OnSize: the caret and a shown highlight follow the new geometry.
    void FitCaretAndSelection();

    qint64 HitTest(const QPoint& point, bool bClick);
    bool InsertByte(qint64 nOffset, std::uint8_t b);
    // Writes text in the document's code page (see EncodeText). A character the
    // code page cannot hold refuses the text: a beep, a status-bar message naming
    // the character and the code page, and false.
    bool FitsBeforeTheEnd(const QString& text, qint64 nBytes);
    bool EncodeOrRefuse(const QString& text, QByteArray& bytes);
    void SetByteOrNibble(qint64 nOffset, std::uint8_t v, bool bWhole);

    // The edits of this window, made by the document (CHexDoc::ReplaceBytes)
    // with this window's caret and selection as the step's before. They refuse
    // (return false, nothing changed) a removal that would take in the end
    // marker, an insertion past the size limit (with a message) and a failed
    // allocation (with "Out of memory."). On success every view follows the
    // document's signal and the byte count is shown.
    bool InsertBytes(qint64 nPos, const std::uint8_t* pSrc, qint64 n);
    bool DeleteBytes(qint64 nPos, qint64 n);
    bool ReplaceBytes(qint64 nPos, qint64 nRemove, const std::uint8_t* pSrc, qint64 nInsert);
    // False, the user told and the clipboard as it was, when the bytes could
    // not be read or are too many for memory.
    bool CopyToClipboard(qint64 nPos, qint64 n);
    // The n bytes at nPos in one block; false, after telling the user, when
    // they are too many for memory or could not be read.
    bool ReadRange(qint64 nPos, qint64 n, QByteArray& bytes) const;

    // Undo and redo (hexview_undo.cpp). Every change of bytes is a step of the
    // document's history, which the document records. ReportEdit shows what
    // became of an edit: the message of a refusal, or in the status bar that a
    // change too large for the history cannot be undone. Each command that may
    // change bytes calls NoteStepAfter when it has placed the caret, which
    // records that place in the step it made, for Redo.
    bool ReportEdit(CHexDoc::EditResult result);
    void NoteStepAfter();
    bool m_bStepMade = false;
    CEditState EditState() const;
    void UndoOrRedo(bool bUndo);
    bool m_bTyping = false;
    void OnEditClear();
    void OnEditCopy();
    void OnEditCut();
    void OnEditPaste();

    // Whole selections and jumps (hexview_select.cpp, hexview_goto.cpp).
    // SelectRange shows bytes nAnchor up to nEnd (not included) as the selection
    // in place of any other, the caret at its anchor as after a drag.
    void SelectRange(qint64 nAnchor, qint64 nEnd);
    // The first byte and the length of the character the text column shows at
    // nOffset: two bytes for a double-byte character, else one.
    void CharacterAt(qint64 nOffset, qint64& nStart, qint64& nLength);
    void OnEditSelectAll();
    void OnEditCopyHex();
    // Character tables and Copy as Text (hexview_table.cpp). LoadCharTable
    // reads a table file and shows the document through it, or says what is
    // wrong with it (the line, for a line that is no entry) and changes nothing.
    void OnCodePageTable();
    bool LoadCharTable(const QString& path);
    // LoadCharTable as the user's choice, remembered for the file's next open
    // (a code page chosen later forgets it).
    bool ChooseCharTable(const QString& path);
    void OnEditCopyText();
    void OnEditGoTo();
    // Moves the caret to the offset the text names (see ParseGoToOffset) and
    // scrolls its row into view; refuses a text that names none with a message
    // and returns false.
    // With bExtend the selection (or one from the caret) is extended to it.
    bool GoToOffset(const QString& strText, bool bDecimal, bool bExtend = false);
    void MoveCaretTo(qint64 nOffset);
    void ExtendSelectionTo(qint64 nOffset);
    void ShowRowOf(qint64 nOffset);
    bool m_bGoToDecimal = false;
    // Bookmarks (hexview_bookmarks.cpp): Toggle Bookmark at the caret or the
    // selection, Next and Previous Bookmark, and their marks in the rows.
    // SelectAndShow selects bytes nStart up to nEnd and scrolls them into view.
    void OnEditToggleBookmark();
    void GoToBookmark(bool bForward);
    void SelectAndShow(qint64 nStart, qint64 nEnd);
    void DrawBookmarks(QPainter* pDC, qint64 nFirstRow, qint64 nLastRow);
    // Follows a change of the document made in any view: row count, scroll
    // sizes, caret and selection kept within the new end.
    void OnUpdate(CDocumentView* pSender, qintptr lHint) override;
    // The document's signals (hexview_edit.cpp, hexview_fonts.cpp): each view
    // keeps its own row cache, rows, caret, selection and font current.
    void OnBytesChanged(qint64 nPos, qint64 nRemoved, qint64 nInserted);
    void OnCodePageChanged(int nCodePage);
    void OnReloaded();

    // Selection highlight, in client coordinates: both scroll positions are taken
    // off (x - horizontal, y - vertical position), so a region covers the cells
    // where they are on screen. Valid while m_bSelection is true.
    QRegion m_rgnHex;
    QRegion m_rgnText;

    // The caret, a byte offset. While a selection shows, the caret that the
    // user sees stands at the selection's moving end.
    qint64 m_nCaretPos = 0;
    // The selection's anchor and moving end, whether or not it is shown.
    CSelection GetSelection() const { return CSelection(m_nSelAnchor, m_nSelEnd); }
    // A selection is shown (it may hold no byte while a drag begins).
    bool HasSelection() const { return m_bSelection; }
    // The bytes the user sees selected: none without a shown selection.
    CSelection ShownSelection() const { return m_bSelection ? GetSelection() : CSelection(m_nCaretPos, m_nCaretPos); }
    // While this view's own edit is made: it places its caret itself.
    bool m_bOwnEdit = false;

    // Find and replace (hexview_find.cpp, hexview_replace.cpp). A text reads as
    // two-digit hex tokens, else as its own characters written in the code page;
    // the pattern holds the whole text. The dialog offers at most kMaxOffered
    // selected bytes as its find text, and the view keeps the text it offers.
    static constexpr qint64 kMaxOffered = 4096;
    // The pattern of a text in the document's code page, or false after the
    // message of EncodeOrRefuse.
    bool PatternOf(const QString& strText, QByteArray& pattern);
    QByteArray GetSelectedBytes(qint64 nMax) const;
    // Find, F3 and Replace start from a selection only when it is shown.
    bool SelectionShown() const;
    CBytePattern PatternFor(const QByteArray& pattern, bool bMatchCase) const;
    bool SelectionMatches(const CBytePattern& pattern) const;
    CHexDoc::FindResult FindPattern(const QByteArray& pattern, bool bDown, bool bMatchCase);
    void ShowMatch();
    void OpenFindDialog(bool bFindOnly);
    qintptr OnRegisteredMessage(unsigned nMsg, quintptr wParam, qintptr lParam) override;
    qintptr OnFindReplace(quintptr wParam, qintptr lParam);
    void FindNext(const QString& strText, bool bDown, bool bMatchCase);
    bool FindForReplace(const QByteArray& pattern);
    void ReplaceOne(const QString& strFind, bool bDown, bool bMatchCase, const QString& strReplace);
    void ReplaceAll(const QString& strFind, const QString& strReplace, bool bMatchCase);
    void OnEditFind();
    void OnEditReplace();
    void OnEditRepeat();

    bool m_bFindDown = true;
    bool m_bMatchCase = false;
    QString m_strFind;
    // The open dialog, a child window of this view: it goes when the view goes,
    // and tells the view (FR_DIALOGTERM) before it deletes itself.
    CFindReplaceDialog* m_pFindDlg = nullptr;

    // Caret column and digit.
    bool m_bHighNibble = true;
    bool m_bHexColumn = true;

    // Printing.
    int m_nLinesPerPage = 0;
    int m_nPrintLeft = 0;
    int m_nPageHeight = 0;
    int m_nPageWidth = 0;
    int m_nPrintLineHeight = 0;
    int m_nPrintTextWidth = 0;
    QFont m_fontPrint;
    QFont m_fontPrintHeader;

    // Editing mode. While insert mode pauses for a byte's second digit,
    // m_bInsertMode is false: the mode the user chose is InsertModeChosen().
    bool m_bResumeInsert = false;
    bool m_bInsertMode = true;
    bool InsertModeChosen() const;
    // The mode the user chose last, kept in the services' profile for the
    // next window and the next start; insert without a profile.
    bool GetStoredInsertMode() const;
    // A key extended the selection during the Shift press going on.
    bool m_bShiftSelecting = false;

    // Screen geometry.
    int m_nCharWidth = 0;
    int m_nLeftMargin = 0;
    int m_nClientHeight = 0;
    int m_nClientWidth = 0;
    int m_nLineHeight = 0;
    int m_nTextWidth = 0;
    // Columns the offset column has past the usual ten (see FitOffsetColumn).
    int m_nOffsetExtra = 0;
    qint64 m_nRows = 0;

    // Screen font.
    CLogFont m_logFont;
    QFont m_fontScreen;
    int m_nFontHeight = kDefaultFontHeight;
    int m_nWheelZoom = 0;   // wheel angle not yet turned into a step

protected:
    int OnCreate() override;
    void OnSize(unsigned nType, int cx, int cy) override;
    void OnDraw(QPainter* pDC) override;
    // Keyboard and mouse (hexview_input.cpp).
    void OnKeyDown(unsigned nChar, unsigned nRepCnt, unsigned nFlags) override;
    void OnKeyUp(unsigned nChar, unsigned nRepCnt, unsigned nFlags) override;
    void OnChar(unsigned nChar, unsigned nRepCnt, unsigned nFlags) override;
    void OnLButtonDown(unsigned nFlags, const QPoint& point) override;
    void OnMouseMove(unsigned nFlags, const QPoint& point) override;
    void OnLButtonUp(unsigned nFlags, const QPoint& point) override;
    void OnText(const QString& text) override;
    void OnLButtonDblClk(unsigned nFlags, const QPoint& point) override;
    void OnContextMenu(const QPoint& ptScreen) override;
    void OnRButtonDown(unsigned nFlags, const QPoint& point) override;
    QByteArray GetCharCodec() const override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void ApplyScreenFont(std::uint8_t nCharSet);
    void MeasureCells();
    // Places the block in the window and fits scroll sizes, caret and highlight
    // to the cell metrics.
    void LayOut();
    qint64 RowCount() const;
    // Widens or narrows the offset column to the document's length; true when
    // it changed.
    bool FitOffsetColumn();
    // The left edge of column nColumn of the block, in document coordinates.
    int ColumnX(int nColumn) const;
    void RegisterZoomCommands();
    void SetCodePage(int nCodePage);
    void GuessCodePage();
    // The code page the user last chose for the document's file, or nDefault.
    int RememberedCodePage(int nDefault) const;
    // The character tables last chosen for files, and showing the one of the
    // document's file again (hexview_table.cpp).
    CPerFileValues RememberedTables() const;
    void LoadRememberedTable();
    void RegisterCodePageMenu();
    void RegisterPrintCommands();
    void RegisterCommandUI();
    // Find and replace.
    void RegisterFindCommands();
    CHexDoc::FindResult FindFrom(const CBytePattern& pattern, qint64 nFrom, bool bDown);
    // Caret, selection and editing.
    void RegisterEditCommands();
    void RegisterSelectCommands();
    void RegisterBookmarkCommands();
    void RegisterTableCommands();
    int LineOfOffset(qint64 nOffset) const;
    QPoint TextCell(qint64 nOffset);
    void SetRegion(QRegion& rgn, const QPoint (&cells)[8]) const;
    // Ends a shown selection and repaints its cells plain.
    void HideSelection();
    void RepaintRegions(qint64 a, qint64 b);
    void RepaintRegion(QRegion& rgn);
    void CollapseSelection();
    void RebuildSelectionRegions();
    void EndInsertPause(bool bAfterByte = true);
    void KeepWithinEnd();
    // Listens to the document's signals; called when the view first shows it.
    void ConnectDocument();

    CRowFormat m_rowFormat;
    QPointer<CHexDoc> m_pConnected;

    // Selection, byte offsets (see GetSelection).
    qint64 m_nSelAnchor = 0;
    qint64 m_nSelEnd = 0;
    bool m_bSelection = false;
    // Asks the next paint to show the highlight again. Every paint draws the
    // highlight of a shown selection, so a paint meets the request and clears it.
    bool m_bRedrawSel = false;
    // The caret's digit the shown highlight was built for: its hex cells start
    // and end on that digit.
    bool m_bSelHighNibble = true;
};
