#include "chartable.h"

#include "diskfile.h"
#include "fileexception.h"
#include "resource.h"
#include "resources.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The file as text, each line with its end taken off. UTF-16 needs its
// byte-order mark; anything else is read as UTF-8 line by line, so that a
// line that is not UTF-8 can be named.
bool SplitLines(const QByteArray& file, QStringList& lines, CCharTable::ParseError* pError)
{
    const bool bLittle = file.startsWith("\xFF\xFE");
    if (bLittle || file.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bLittle ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        const QString text = decoder.decode(file);
        lines = text.split(QLatin1Char('\n'));
        if (!decoder.hasError() && file.size() % 2 == 0)
            return true;
        // The decoder marks what it could not read with U+FFFD (an odd last
        // byte among them).
        qsizetype i = 0;
        while (i + 1 < lines.size() && !lines[i].contains(QChar(kReplacement)))
            ++i;
        if (pError)
            *pError = {int(i + 1), lines[i]};
        return false;
    }
    const QByteArray body = file.startsWith("\xEF\xBB\xBF") ? file.mid(3) : file;
    const QList<QByteArray> raw = body.split('\n');
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        lines.append(decoder.decode(raw[i]));
        if (decoder.hasError()) {
            if (pError)
                *pError = {int(i + 1), lines.last()};
            return false;
        }
    }
    return true;
}

bool ParseKey(QStringView hex, QByteArray& key)
{
    if (hex.isEmpty() || hex.size() % 2 != 0 || hex.size() > 2 * CCharTable::kMaxKeyLength)
        return false;
    for (const QChar c : hex) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    key = QByteArray::fromHex(hex.toLatin1());
    return true;
}

// A line of a table file as a message quotes it: its first 80 characters.
// A file chosen by mistake may have megabytes before its first line break,
// which a message box took minutes to lay out.
QString QuotedLine(const QString& line)
{
    constexpr qsizetype kMost = 80;
    if (line.size() <= kMost)
        return line;
    const qsizetype n = line[kMost].isLowSurrogate() ? kMost - 1 : kMost;
    return line.left(n) + QChar(0x2026);
}

// The first n bytes at p (n at most 8) as a big-endian number.
std::uint64_t KeyValue(const std::uint8_t* p, int n)
{
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

CCharTable::CCharTable()
{
    m_single.fill(-1);
}

bool CCharTable::Parse(const QByteArray& file, ParseError* pError)
{
    QStringList lines;
    if (!SplitLines(file, lines, pError))
        return false;
    CCharTable table;
    QSet<QByteArray> longKeys;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QStringView trimmed = QStringView(line).trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || trimmed.startsWith(QLatin1Char(';')))
            continue;
        // The value is everything after the first '=', spaces included: "20= "
        // gives the space its key.
        const qsizetype nEquals = line.indexOf(QLatin1Char('='));
        Entry entry;
        QStringView key = nEquals < 0 ? trimmed : QStringView(line).left(nEquals).trimmed();
        if (key.startsWith(QLatin1Char('/')))
            entry.kind = Kind::End;
        else if (key.startsWith(QLatin1Char('*')))
            entry.kind = Kind::LineBreak;
        if (entry.kind != Kind::Char)
            key = key.mid(1);
        if (nEquals >= 0)
            entry.text = line.mid(nEquals + 1);
        bool bOk = ParseKey(key, entry.key) && (entry.kind != Kind::Char || !entry.text.isEmpty());
        if (bOk && entry.key.size() > 2) {
            const qsizetype nBefore = longKeys.size();
            longKeys.insert(entry.key);
            bOk = longKeys.size() > nBefore;
        }
        bOk = bOk && table.AddEntry(std::move(entry));
        if (!bOk) {
            if (pError)
                *pError = {int(i + 1), line};
            return false;
        }
    }
    if (table.IsEmpty()) {
        if (pError)
            *pError = {0, QString()};
        return false;
    }
    for (auto& keys : table.m_keys)
        std::sort(keys.begin(), keys.end());
    // Each list of values longest first, so that Encode takes the longest
    // that matches; of values written alike only the first entry's stays,
    // the one Encode would find first. Sorted once here: kept in order entry
    // by entry, a table of many values beginning alike took time by the
    // square of their number (300,000 keys of "A" took 44 s).
    for (auto& values : table.m_values) {
        std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
            return a.first.size() != b.first.size() ? a.first.size() > b.first.size() : a.first < b.first;
        });
        values.erase(std::unique(values.begin(), values.end(),
                                 [](const auto& a, const auto& b) { return a.first == b.first; }),
                     values.end());
    }
    table.m_shownAt.push_back(std::uint32_t(table.m_shownPool.size()));
    table.m_shownPool.resize(table.m_shownPool.size() + 8);
    table.MakeSteps();
    table.m_strName = m_strName;
    *this = std::move(table);
    return true;
}

bool CCharTable::LoadFile(const QString& path, QString* pMessage)
{
    const QString name = QDir::toNativeSeparators(path);
    QByteArray bytes;
    try {
        // A FIFO would block and a device never end: only regular files are
        // read, and no more of them than a table can take.
        bytes = AfxReadRegularFile(path, kMaxFileSize);
    } catch (const CFileException& e) {
        // The system's words where it gave some, else the program's own.
        *pMessage = AfxLoadString(IDS_BOOKMARK_READ_FAILED)
                        .arg(name, e.m_strDetail.isEmpty() ? e.GetErrorMessage() : e.m_strDetail);
        return false;
    }
    ParseError error;
    if (!Parse(bytes, &error)) {
        *pMessage = error.nLine == 0 ? AfxLoadString(IDS_TABLE_EMPTY).replace(QLatin1String("%1"), name)
                                     : AfxLoadString(IDS_TABLE_BAD_LINE)
                                           .arg(QString::number(error.nLine), name, QuotedLine(error.strLine));
        return false;
    }
    m_strName = QFileInfo(path).fileName();
    return true;
}

// Keys of three bytes and more go into their lists unsorted; Parse sorts
// them once all are in, and has checked them for repeats by then.
bool CCharTable::AddEntry(Entry&& entry)
{
    const int nIndex = int(m_entries.size());
    const int nLength = int(entry.key.size());
    const auto* p = reinterpret_cast<const std::uint8_t*>(entry.key.constData());
    if ((nLength == 1 && m_single[p[0]] >= 0)
        || (nLength == 2 && !m_pairs.empty() && m_pairs[std::size_t(p[0]) << 8 | p[1]] >= 0))
        return false;
    if (nLength > 2)
        m_keys[std::size_t(nLength)].emplace_back(KeyValue(p, nLength), nIndex);
    if (nLength == 1)
        m_single[p[0]] = nIndex;
    else
        m_lengths[p[0]] |= std::uint16_t(1u << nLength);
    if (nLength == 2) {
        if (m_pairs.empty())
            m_pairs.assign(1u << 16, -1);
        m_pairs[std::size_t(p[0]) << 8 | p[1]] = nIndex;
    }
    // A newline is written with the first line break's key; one with a text
    // also takes that text followed by a newline, as Decode gives it.
    // Parse puts each list in its order once all are in.
    const auto addValue = [this, nIndex](const QString& value) {
        m_values[value[0].unicode()].emplace_back(value, nIndex);
    };
    if (entry.kind == Kind::LineBreak) {
        if (!entry.text.isEmpty())
            addValue(entry.text + QLatin1Char('\n'));
        addValue(QStringLiteral("\n"));
    } else if (!entry.text.isEmpty()) {
        addValue(entry.text);
    }
    const QByteArray shown = ShownText(entry).toUtf8();
    m_nMostShownBytes = std::max(m_nMostShownBytes, int(shown.size()));
    m_shownAt.push_back(std::uint32_t(m_shownPool.size()));
    m_shownPool.insert(m_shownPool.end(), shown.begin(), shown.end());
    m_entries.push_back(std::move(entry));
    return true;
}

void CCharTable::MakeSteps()
{
    m_steps.assign(1u << 16, 0);
    for (std::size_t b0 = 0; b0 < 256; ++b0) {
        for (std::size_t b1 = 0; b1 < 256; ++b1) {
            const int nPair = m_pairs.empty() ? -1 : m_pairs[b0 << 8 | b1];
            const int nIndex = nPair >= 0 ? nPair : m_single[b0];
            std::uint8_t step[4] = {'.', 0, 0, 1};
            if (nIndex >= 0) {
                std::size_t n = 0;
                const char* pText = ShownUtf8(&m_entries[std::size_t(nIndex)], n);
                std::memcpy(step, pText, std::min<std::size_t>(n, 3));
                step[3] = std::uint8_t(n > 3 ? std::size_t(kStepSlow) : n);
                if (m_entries[std::size_t(nIndex)].kind == Kind::End)
                    step[3] |= kStepEnd;
            } else {
                step[3] |= kStepNone;
            }
            if (nPair >= 0)
                step[3] |= kStepPair;
            if (m_lengths[b0] > 7)
                step[3] |= kStepSlow;
            std::memcpy(&m_steps[b0 << 8 | b1], step, 4);
        }
    }
}

CCharTable::Match CCharTable::LongMatchAt(const std::uint8_t* p, std::size_t nAvail) const
{
    if (nAvail == 0 || m_entries.empty())
        return {};
    const std::uint8_t b = p[0];
    if (const unsigned mask = m_lengths[b]) {
        const int nMost = int(std::min<std::size_t>(nAvail, kMaxKeyLength));
        // Only keys of three bytes and more need the bytes as a number.
        const std::uint64_t v = mask > 7 ? KeyValue(p, nMost) : 0;
        for (int n = nMost; n >= 2; --n) {
            if (!(mask & (1u << n)))
                continue;
            if (n == 2) {
                if (const int nIndex = m_pairs[std::size_t(b) << 8 | p[1]]; nIndex >= 0)
                    return {2, &m_entries[std::size_t(nIndex)]};
                continue;
            }
            const auto& keys = m_keys[std::size_t(n)];
            const std::uint64_t key = v >> (8 * (nMost - n));
            const auto at = std::lower_bound(keys.begin(), keys.end(), std::make_pair(key, 0));
            if (at != keys.end() && at->first == key)
                return {n, &m_entries[std::size_t(at->second)]};
        }
    }
    if (m_single[b] >= 0)
        return {1, &m_entries[std::size_t(m_single[b])]};
    return {};
}

std::uint32_t CCharTable::WalkTo(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFrom,
                                 std::uint32_t nPos) const
{
    while (nFrom < nPos) {
        const Match match = MatchAt(pData + nFrom, nLength - nFrom);
        nFrom += match.nBytes ? std::uint32_t(match.nBytes) : 1;
    }
    return nFrom;
}

// No step of the walk is longer than kMaxKeyLength bytes, so of any eight
// offsets in a row the walk from the start lands on at least one. Walks begun
// at each of eight offsets a little before nPos thus include the true one;
// once they have all come together (two walks that land on one offset go on
// as one), or all land first on the same offset at or after nPos, that offset
// is the answer. Otherwise the walks start further back, down to the start of
// the bytes, where the walk is the true one by definition. In real tables most
// bytes have a key or none at all, and the walks meet within a few bytes.
std::uint32_t CCharTable::LandingAt(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nPos) const
{
    if (nPos == 0 || nPos >= nLength)
        return std::min(nPos, nLength);
    std::uint32_t nLanding = 0;
    for (std::uint64_t nBack = 64; nBack < nPos; nBack *= 16) {
        if (WalksAgree(pData, nLength, nPos, std::uint32_t(nBack), nLanding))
            return nLanding;
    }
    return WalkTo(pData, nLength, 0, nPos);
}

bool CCharTable::LandingWithin(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nPos,
                               std::uint32_t& nLanding) const
{
    for (std::uint64_t nBack = 64; nBack <= nPos; nBack *= 16) {
        if (WalksAgree(pData, nLength, nPos, std::uint32_t(nBack), nLanding))
            return true;
    }
    return false;
}

bool CCharTable::WalksAgree(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nPos,
                            std::uint32_t nBack, std::uint32_t& nLanding) const
{
    std::array<std::uint32_t, kMaxKeyLength> at{};
    for (std::uint32_t j = 0; j < kMaxKeyLength; ++j)
        at[j] = nPos - nBack + j;
    for (;;) {
        const auto [pMin, pMax] = std::minmax_element(at.begin(), at.end());
        const std::uint32_t nMin = *pMin;
        if (nMin == *pMax) {
            nLanding = WalkTo(pData, nLength, nMin, nPos);
            return true;
        }
        if (nMin >= nPos)
            return false;
        const Match match = MatchAt(pData + nMin, nLength - nMin);
        const std::uint32_t nNext = nMin + (match.nBytes ? std::uint32_t(match.nBytes) : 1);
        for (std::uint32_t& a : at) {
            if (a == nMin)
                a = nNext;
        }
    }
}

QString CCharTable::ShownText(const Entry& entry)
{
    if (entry.kind == Kind::LineBreak && entry.text.isEmpty())
        return QStringLiteral("\u21B5");
    return entry.text;
}

QString CCharTable::PlainText(const Entry& entry)
{
    return entry.kind == Kind::LineBreak ? entry.text + QLatin1Char('\n') : entry.text;
}

QString CCharTable::Decode(const std::uint8_t* pData, std::uint32_t nLength, std::uint32_t nFirst,
                           std::uint32_t nEnd) const
{
    QString text;
    nEnd = std::min(nEnd, nLength);
    std::uint32_t p = std::min(LandingAt(pData, nLength, nFirst), nEnd);
    text.fill(QChar(kReplacement), p - nFirst);
    while (p < nEnd) {
        const Match match = MatchAt(pData + p, nLength - p);
        if (match.nBytes) {
            text += PlainText(*match.pEntry);
            p += std::uint32_t(match.nBytes);
        } else {
            text += QChar(kReplacement);
            ++p;
        }
    }
    return text;
}

CEncodedText CCharTable::Encode(QStringView text) const
{
    CEncodedText result;
    for (qsizetype i = 0; i < text.size();) {
        const auto found = m_values.constFind(text[i].unicode());
        const std::pair<QString, int>* pValue = nullptr;
        if (found != m_values.constEnd()) {
            for (const auto& value : *found) {
                if (text.mid(i).startsWith(value.first)) {
                    pValue = &value;
                    break;
                }
            }
        }
        if (!pValue) {
            const char16_t u = text[i].unicode();
            const bool bPair = QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
            result.bytes.clear();
            result.bOk = false;
            result.chRefused = bPair ? QChar::surrogateToUcs4(u, text[i + 1].unicode()) : char32_t(u);
            result.nRefusedAt = i;
            return result;
        }
        result.bytes += m_entries[std::size_t(pValue->second)].key;
        i += pValue->first.size();
    }
    return result;
}
