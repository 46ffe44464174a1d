#pragma once

#include <QString>

// Message numbers shared by name between parts of the program that do not know
// each other, such as a modeless dialog and the view it reports to. The same
// name always gives the same number, from 0xC000 up, whoever registers it
// first; registering again is harmless.
unsigned RegisterWindowMessage(const QString& name);
