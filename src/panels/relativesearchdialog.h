#pragma once

#include "hitlistdialog.h"

#include <memory>

class CRelativeSearch;
class QCheckBox;

// Edit > Relative Search: a word found by the distances between its letters
// (see CRelativeSearch), in single bytes and, with Two-byte codes too, in
// two-byte codes of either byte order; each hit listed with its offset, its
// codes and the code of the word's first letter there. Make Table writes the
// character table the current hit implies (HEX=TEXT lines, UTF-8) to a file
// the user picks and emits tableSaved with its path.
class CRelativeSearchDialog : public CHitListDialog {
    Q_OBJECT

public:
    explicit CRelativeSearchDialog(QWidget* pParent = nullptr);
    ~CRelativeSearchDialog() override;

    QCheckBox* TwoByte() const { return m_pTwoByte; }
    QPushButton* MakeTableButton() const { return m_pMakeTable; }
    // Writes the current hit's table to path; false, with a message under the
    // list, when there is no hit or the file cannot be written.
    bool SaveTable(const QString& path);

signals:
    void tableSaved(const QString& path);

protected:
    bool Search(const QString& text, const CHexDoc& doc) override;

private:
    void MakeTable();

    QCheckBox* m_pTwoByte;
    QPushButton* m_pMakeTable;
    // The search whose hits are listed, for Make Table.
    std::unique_ptr<CRelativeSearch> m_pSearch;
};
