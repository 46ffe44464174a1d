#include "longtask.h"

std::function<void(CLongTask& task)> CLongTask::s_stepHook;
int CLongTask::s_nRunning = 0;

namespace {

CLongTask::Runner& runner()
{
    static CLongTask::Runner r;
    return r;
}

} // namespace

bool CLongTask::Step(qint64 nDone)
{
    m_nDone += nDone;
    if (s_stepHook)
        s_stepHook(*this);
    return !m_bCancelled;
}

void CLongTask::SetRunner(Runner r)
{
    runner() = std::move(r);
}

void CLongTask::Run(const std::function<void()>& work)
{
    struct Running {
        Running() { ++s_nRunning; }
        ~Running() { --s_nRunning; }
    } running;
    if (runner())
        runner()(*this, work);
    else
        work();
}
