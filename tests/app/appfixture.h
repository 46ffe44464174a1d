#pragma once

// The whole program in a test: a CHexApp started as main() starts it, with the
// message filter installed, message boxes recorded and answered, and a clean
// settings profile for every fixture unless a test keeps it on purpose.

#include "afxmsg.h"
#include "childfrm.h"
#include "hexapp.h"
#include "mainfrm.h"
#include "testsupport.h"

#include <QApplication>
#include <QSettings>
#include <QStringList>
#include <QTest>

#include <memory>

struct AppFixture {
    std::unique_ptr<CHexApp> app = std::make_unique<CHexApp>();
    QStringList messages;
    bool started = false;

    explicit AppFixture(const QStringList& args = {}, int nCmdShow = SW_SHOWNORMAL)
    {
        AfxSetMessageBoxHandler([this](const QString& text, unsigned) {
            messages.append(text);
            return IDOK;
        });
        app->SetCommandLine(args);
        app->m_nCmdShow = nCmdShow;
        qApp->installEventFilter(app.get());
        started = app->InitInstance();
    }

    ~AppFixture()
    {
        if (frame())
            frame()->close();
        app->ExitInstance();
        app.reset();
        AfxSetMessageBoxHandler(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    CMainFrame* frame() const { return app->GetMainFrame(); }
    int windowCount() const { return frame()->GetChildFrames().size(); }
    // One pass of the idle processing the event loop runs when it waits.
    bool idle(long lCount = 0) { return app->OnIdle(lCount); }

    // The profile the program reads at start-up, emptied and back to first-run
    // state; the show state of document windows starts maximized again.
    static void ResetSettings()
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vantorel"),
                           QStringLiteral("Zorbel"));
        settings.clear();
        settings.sync();
        CChildFrame::s_nShowCmd = SW_SHOWMAXIMIZED;
        CChildFrame::s_nSavedShowCmd = SW_SHOWMAXIMIZED;
    }

    static QVariant Setting(const QString& key)
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vantorel"),
                           QStringLiteral("Zorbel"));
        return settings.value(key);
    }

    static void SetSetting(const QString& key, const QVariant& value)
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vantorel"),
                           QStringLiteral("Zorbel"));
        settings.setValue(key, value);
        settings.sync();
    }
};
