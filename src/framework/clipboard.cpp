#include "clipboard.h"

#include "textcodec.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

const QString kPlainText = QStringLiteral("text/plain");

// The copied bytes, and the text other programs read them as, made only when one
// asks: a copy of a large range then holds one copy of the bytes and no more.
class CBytesMimeData : public QMimeData {
public:
    CBytesMimeData(const QByteArray& bytes, const QByteArray& codec) : m_bytes(bytes), m_codec(codec) {}

    QStringList formats() const override { return {QString::fromLatin1(CClipboard::kBytesMimeType), kPlainText}; }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (mimeType == QLatin1String(CClipboard::kBytesMimeType))
            return m_bytes;
        if (mimeType != kPlainText)
            return QVariant();
        const QString text = CTextCodec(m_codec).Decode(m_bytes);
        if (type.id() == QMetaType::QByteArray)
            return text.toUtf8();
        return text;
    }

private:
    QByteArray m_bytes;
    QByteArray m_codec;
};

CClipboard* s_pInstalled = nullptr;

// Text as QMimeData gives it, or from text/plain;charset=utf-8 when a program
// offers only that (QMimeData::hasText looks for plain text/plain alone).
QString TextOf(const QMimeData& data)
{
    if (data.hasText())
        return data.text();
    for (const QString& format : data.formats()) {
        if (format.compare(QLatin1String("text/plain;charset=utf-8"), Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(data.data(format));
    }
    return QString();
}

} // namespace

CClipboard::~CClipboard() = default;

CClipboard* CClipboard::Instance()
{
    static CClipboard s_system;
    return s_pInstalled ? s_pInstalled : &s_system;
}

CClipboard* CClipboard::SetInstance(CClipboard* pClipboard)
{
    CClipboard* pPrevious = Instance();
    s_pInstalled = pClipboard;
    return pPrevious;
}

void CClipboard::SetBytes(const QByteArray& bytes, const QByteArray& codec)
{
    SetMimeData(new CBytesMimeData(bytes, codec));
}

void CClipboard::SetText(const QString& text)
{
    auto* pData = new QMimeData;
    pData->setText(text);
    SetMimeData(pData);
}

QByteArray CClipboard::GetBytes(QString* pText) const
{
    if (pText)
        pText->clear();
    const QMimeData* pData = MimeData();
    if (!pData)
        return QByteArray();
    if (pData->hasFormat(QLatin1String(kBytesMimeType)))
        return pData->data(QLatin1String(kBytesMimeType));
    if (pText)
        *pText = TextOf(*pData);
    return QByteArray();
}

bool CClipboard::HasBytes() const
{
    const QMimeData* pData = MimeData();
    if (!pData)
        return false;
    if (pData->hasFormat(QLatin1String(kBytesMimeType)))
        return !pData->data(QLatin1String(kBytesMimeType)).isEmpty();
    // Every character becomes at least one byte, so any text will do.
    return !TextOf(*pData).isEmpty();
}

const QMimeData* CClipboard::MimeData() const
{
    return QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
}

void CClipboard::SetMimeData(QMimeData* pData)
{
    QGuiApplication::clipboard()->setMimeData(pData, QClipboard::Clipboard);
}

bool AfxClipboardHasBytes()
{
    return CClipboard::Instance()->HasBytes();
}
