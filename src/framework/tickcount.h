#pragma once

#include <QtGlobal>

#include <functional>

// Milliseconds since the program started, wrapping at 2^32 like the platform's
// tick count. Callers compare ticks by unsigned difference, so a wrap between two
// readings does no harm.
quint32 GetTickCount();

// Replaces the clock (tests); an empty function restores the real one.
void SetTickCountSource(std::function<quint32()> source);
