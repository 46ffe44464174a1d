#include "byteclasses.h"

#include "codepage.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

const CByteClasses& CByteClasses::Find(int nCodePage)
{
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<CByteClasses>> all;
    const std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<CByteClasses>& classes = all[nCodePage];
    if (!classes)
        classes.reset(new CByteClasses(nCodePage));
    return *classes;
}

CByteClasses::CByteClasses(int nCodePage)
{
    m_bMasks = Collect(m_lead, IsLeadByte, nCodePage) && Collect(m_trail, IsTrailByte, nCodePage)
        && Collect(m_shown, IsShownAlone, nCodePage);
    m_bNibbles = m_leadNibbles.Collect(IsLeadByte, nCodePage) && m_trailNibbles.Collect(IsTrailByte, nCodePage)
        && m_shownNibbles.Collect(IsShownAlone, nCodePage);
    const Nibbles* quarters[] = {&m_leadNibbles, &m_trailNibbles};
    for (int q = 0; q < 2; ++q) {
        std::memcpy(m_quarterHighs + 16 * q, quarters[q]->high, 16);
        std::memcpy(m_quarterLows + 16 * q, quarters[q]->low, 16);
    }
}

bool CByteClasses::Nibbles::Collect(bool (*test)(int nCodePage, std::uint8_t b), int nCodePage)
{
    std::uint16_t sets[8] = {};
    int nSets = 0;
    for (int h = 0; h < 16; ++h) {
        std::uint16_t set = 0;
        for (int l = 0; l < 16; ++l)
            set |= std::uint16_t(test(nCodePage, std::uint8_t(h << 4 | l)) ? 1u << l : 0u);
        if (set == 0)
            continue;
        int k = 0;
        while (k < nSets && sets[k] != set)
            ++k;
        if (k == nSets) {
            if (nSets == 8)
                return false;
            sets[nSets++] = set;
            for (int l = 0; l < 16; ++l)
                low[l] |= std::uint8_t((set >> l & 1u) << k);
        }
        high[h] = std::uint8_t(1u << k);
    }
    return true;
}

bool CByteClasses::Collect(Runs& runs, bool (*test)(int nCodePage, std::uint8_t b), int nCodePage)
{
    for (int b = 0; b < 256;) {
        if (!test(nCodePage, std::uint8_t(b))) {
            ++b;
            continue;
        }
        int last = b;
        while (last < 255 && test(nCodePage, std::uint8_t(last + 1)))
            ++last;
        if (runs.nCount == kMaxRuns)
            return false;
        std::memset(runs.first[runs.nCount], b, 16);
        std::memset(runs.span[runs.nCount], last - b, 16);
        ++runs.nCount;
        b = last + 1;
    }
    return true;
}
