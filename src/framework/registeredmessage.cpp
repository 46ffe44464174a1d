#include "registeredmessage.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

unsigned RegisterWindowMessage(const QString& name)
{
    static QMutex mutex;
    static QHash<QString, unsigned> numbers;
    const QMutexLocker lock(&mutex);
    auto it = numbers.constFind(name);
    if (it == numbers.constEnd())
        it = numbers.insert(name, 0xC000u + unsigned(numbers.size()));
    return it.value();
}
