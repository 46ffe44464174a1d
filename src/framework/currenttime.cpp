#include "currenttime.h"

namespace {

std::function<QDateTime()>& timeSource()
{
    static std::function<QDateTime()> source;
    return source;
}

} // namespace

QDateTime GetCurrentTime()
{
    return timeSource() ? timeSource()() : QDateTime::currentDateTime();
}

void SetCurrentTimeSource(std::function<QDateTime()> source)
{
    timeSource() = std::move(source);
}
