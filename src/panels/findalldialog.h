#pragma once

#include "hitlistdialog.h"

class CEncodedSearch;

// Edit > Find in All Encodings: the text is found as the bytes of GB, BIG5,
// Shift JIS, UTF-8, UTF-16LE and UTF-16BE at once (see CEncodedSearch), each
// hit listed with its offset, its encoding and the text around it read in that
// encoding; encodings that cannot hold the text are named under the list.
// Show in This Encoding (Alt+S) switches the document's text column to the
// current hit's code page; UTF-16 has none, which it says.
class CFindAllDialog : public CHitListDialog {
    Q_OBJECT

public:
    explicit CFindAllDialog(QWidget* pParent = nullptr);

    QPushButton* ShowInButton() const { return m_pShowIn; }
    // Switches the text column to the current hit's encoding.
    void ShowInEncoding();

protected:
    bool Search(const QString& text, const CHexDoc& doc) override;
    // The search built for a text; one more pattern, a character table's, is
    // added here with CEncodedSearch::Add.
    virtual void AddPatterns(CEncodedSearch& search, const QString& text);

private:
    QPushButton* m_pShowIn;
};
