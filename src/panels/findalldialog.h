#pragma once

#include "hitlistdialog.h"

#include <memory>

class CCharTable;
class CEncodedSearch;

// Edit > Find in All Encodings: the text is found as the bytes of GB, BIG5,
// Shift JIS, UTF-8, UTF-16LE and UTF-16BE at once (see CEncodedSearch), each
// hit listed with its offset, its encoding and the text around it read in that
// encoding; encodings that cannot hold the text are named under the list.
// Show in This Encoding (Alt+S) switches the document's text column to the
// current hit's code page; UTF-16 has none, which it says. With a character
// table shown the text is found as the table's bytes too, listed under the
// table's file name and read through it; showing such a hit shows the table
// again if the text column has left it since.
class CFindAllDialog : public CHitListDialog {
    Q_OBJECT

public:
    explicit CFindAllDialog(QWidget* pParent = nullptr);

    QPushButton* ShowInButton() const { return m_pShowIn; }
    // Switches the text column to the current hit's encoding.
    void ShowInEncoding();

protected:
    bool Search(const QString& text, const CHexDoc& doc) override;
    // Adds the shown character table's bytes for the text to the search, or
    // names the table as skipped when it cannot write the text.
    virtual void AddPatterns(CEncodedSearch& search, const QString& text);

private:
    QPushButton* m_pShowIn;
    // The table the listed hits were searched with, and its pattern (-1 for
    // none): kept, since the document may drop it before a hit is shown.
    std::shared_ptr<const CCharTable> m_pTable;
    int m_nTablePattern = -1;
};
