#pragma once

class QPainter;
class QPrinter;

// Device capabilities a view asks of the printer (CPrintInfo::GetDeviceCaps).
enum : int { HORZRES = 8, VERTRES = 10, LOGPIXELSY = 90 };

// One run of the print loop (CView::PrintToPrinter): the printer, the kind of
// run, the page count the view sets and the page being printed.
//
// The loop calls the view's OnBeginPrinting, which sets the page count with
// SetMaxPage; then OnPrint once per page with m_nCurPage set, from the first to
// the last page of the range the print dialog left on the printer (all pages
// when it left none), cut to the page count; then OnEndPrinting. The printer
// belongs to the caller and outlives the run.
class CPrintInfo {
public:
    explicit CPrintInfo(QPrinter* pPrinter = nullptr) : m_pPrinter(pPrinter) {}

    void SetMinPage(unsigned nMinPage) { m_nMinPage = nMinPage; }
    void SetMaxPage(unsigned nMaxPage) { m_nMaxPage = nMaxPage; }
    unsigned GetMinPage() const { return m_nMinPage; }
    unsigned GetMaxPage() const { return m_nMaxPage; }

    // The pages the loop prints, from the printer's page range and the page
    // count; GetFromPage() > GetToPage() when the range misses every page.
    unsigned GetFromPage() const;
    unsigned GetToPage() const;

    // HORZRES and VERTRES: the printable area of the painter's device in device
    // pixels; LOGPIXELSY: its vertical resolution in pixels per inch. 0 for
    // anything else.
    static int GetDeviceCaps(const QPainter* pDC, int nIndex);

    QPrinter* m_pPrinter;
    bool m_bPreview = false;  // the pages go to the preview window
    bool m_bDirect = false;   // print without asking the print dialog
    unsigned m_nCurPage = 1;

private:
    unsigned m_nMinPage = 1;
    unsigned m_nMaxPage = 0xFFFF;
};
