#include "tickcount.h"

#include <QElapsedTimer>

namespace {

std::function<quint32()>& tickSource()
{
    static std::function<quint32()> source;
    return source;
}

} // namespace

quint32 GetTickCount()
{
    if (tickSource())
        return tickSource()();
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return static_cast<quint32>(clock.elapsed());
}

void SetTickCountSource(std::function<quint32()> source)
{
    tickSource() = std::move(source);
}
