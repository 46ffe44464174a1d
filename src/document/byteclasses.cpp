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
