#pragma once

#include <QDateTime>

#include <functional>

// The current local date and time, as printed pages show it.
QDateTime GetCurrentTime();

// Replaces the clock (tests); an empty function restores the real one.
void SetCurrentTimeSource(std::function<QDateTime()> source);
