#pragma once

#include <QString>

#include <functional>

// Message boxes. The program asks through AfxMessageBox; what shows the box is
// installed by the application (a QMessageBox) or by a test (which answers at
// once and records the text). Without a handler the text goes to standard error
// and the answer is the box's default.

enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_TYPEMASK = 0xF,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
};

enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

using MessageBoxHandler = std::function<int(const QString& text, unsigned type)>;

int AfxMessageBox(const QString& text, unsigned type = MB_OK | MB_ICONEXCLAMATION);

// Returns the previous handler so that a test can restore it.
MessageBoxHandler AfxSetMessageBoxHandler(MessageBoxHandler handler);
