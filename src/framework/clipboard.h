#pragma once

#include <QByteArray>
#include <QString>

class QMimeData;

// The clipboard as the program uses it: a block of bytes.
//
// SetBytes puts the exact bytes on the clipboard under the private type
// kBytesMimeType, so that GetBytes gives them back byte for byte, zero bytes
// included. Other programs see them as text/plain: the bytes read in the given
// code page (see CTextCodec), made only when a program asks for it. GetBytes
// gives the private bytes when the clipboard holds them; else it gives nothing
// and puts another program's text in *pText, for the caller to write in the
// document's code page. HasBytes tells whether the clipboard holds bytes or a
// text to paste, without converting anything.
//
// Instance() is the system clipboard unless a test installed another object;
// such an object overrides MimeData and SetMimeData to keep the data in memory.
class CClipboard {
public:
    static constexpr const char* kBytesMimeType = "application/x-zorbel-bytes";

    virtual ~CClipboard();

    static CClipboard* Instance();
    // Installs pClipboard (nullptr: the system clipboard again) and returns the
    // one it replaces. The caller keeps ownership.
    static CClipboard* SetInstance(CClipboard* pClipboard);

    void SetBytes(const QByteArray& bytes, const QByteArray& codec);
    // Puts text alone on the clipboard, as other programs' text arrives.
    void SetText(const QString& text);
    QByteArray GetBytes(QString* pText = nullptr) const;
    bool HasBytes() const;

protected:
    // The clipboard's current contents, or nullptr when it holds nothing.
    virtual const QMimeData* MimeData() const;
    // Replaces the contents; takes ownership of pData.
    virtual void SetMimeData(QMimeData* pData);
};

// Whether Paste has something to insert: the shell's idle handler keeps the
// main frame's m_bClipboardHasText with it, which views read through their
// CViewServices.
bool AfxClipboardHasBytes();
