#include "logfont.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QStringList>

std::function<bool(std::uint8_t nCharSet)> CLogFont::s_isCharSetInstalled;

namespace {

QFontDatabase::WritingSystem WritingSystemOf(std::uint8_t nCharSet)
{
    switch (nCharSet) {
    case SHIFTJIS_CHARSET:
        return QFontDatabase::Japanese;
    case GB2312_CHARSET:
        return QFontDatabase::SimplifiedChinese;
    case CHINESEBIG5_CHARSET:
        return QFontDatabase::TraditionalChinese;
    default:
        return QFontDatabase::Any;
    }
}

// Font databases often call a face with half-width Latin letters and full-width
// ideographs proportional; measuring tells such a face from a truly proportional one.
bool IsFixedPitch(const QString& family)
{
    if (QFontDatabase::isFixedPitch(family))
        return true;
    QFont font(family);
    font.setPixelSize(16);
    const QFontMetricsF fm(font);
    const qreal latin = fm.horizontalAdvance(QLatin1Char('M'));
    return latin > 0 && fm.horizontalAdvance(QLatin1Char('i')) == latin
        && fm.horizontalAdvance(QChar(0x4E00)) == 2 * latin;
}

// The family the mapper picks for a script, or an empty string when none covers it.
QString FamilyFor(QFontDatabase::WritingSystem script, bool bFixedPitch)
{
    static QHash<int, QString> chosen;
    const int key = int(script) * 2 + (bFixedPitch ? 1 : 0);
    const auto found = chosen.constFind(key);
    if (found != chosen.constEnd())
        return *found;
    const QStringList families = QFontDatabase::families(script);
    QString family = families.value(0);
    if (bFixedPitch) {
        for (const QString& candidate : families) {
            if (!QFontDatabase::isPrivateFamily(candidate) && IsFixedPitch(candidate)) {
                family = candidate;
                break;
            }
        }
    }
    chosen.insert(key, family);
    return family;
}

} // namespace

bool CLogFont::IsInstalled() const
{
    if (s_isCharSetInstalled)
        return s_isCharSetInstalled(lfCharSet);
    const QFontDatabase::WritingSystem script = WritingSystemOf(lfCharSet);
    return script == QFontDatabase::Any || !QFontDatabase::families(script).isEmpty();
}

QFont CLogFont::CreateFont() const
{
    const QFontDatabase::WritingSystem script = WritingSystemOf(lfCharSet);
    const bool bFixedPitch = (lfPitchAndFamily & FIXED_PITCH) != 0;
    QString family;
    if (script != QFontDatabase::Any && IsInstalled())
        family = FamilyFor(script, bFixedPitch);
    QFont font = family.isEmpty() ? QFontDatabase::systemFont(bFixedPitch ? QFontDatabase::FixedFont
                                                                          : QFontDatabase::GeneralFont)
                                  : QFont(family);
    font.setPixelSize(lfHeight != 0 ? qAbs(lfHeight) : 16);
    if (lfWeight > 0)
        font.setWeight(QFont::Weight(qBound(1, lfWeight, 1000)));
    font.setKerning(false);
    return font;
}
