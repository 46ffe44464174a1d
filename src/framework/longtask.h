#pragma once

#include <QString>

#include <atomic>
#include <functional>

// Work that may take long, such as reading or writing a large file, run so that
// the program stays alive: the user interface installs a runner that does the
// work on another thread while the windows keep repainting, shows its progress
// once it has lasted a moment and lets Esc cancel it. Without a runner (the
// command line, tests of documents) the work runs at once on the calling thread.
//
// The work reports what it has done with Step, which may be called from any
// thread, and stops when Step returns false.
class CLongTask {
public:
    // nTotal is what Step counts up to; 0 when it is not known in advance.
    CLongTask(const QString& text, qint64 nTotal) : m_strText(text), m_nTotal(nTotal) {}

    bool Step(qint64 nDone);
    void Cancel() { m_bCancelled = true; }
    bool IsCancelled() const { return m_bCancelled; }

    const QString& GetText() const { return m_strText; }
    qint64 GetTotal() const { return m_nTotal; }
    void SetTotal(qint64 nTotal) { m_nTotal = nTotal; }
    qint64 GetDone() const { return m_nDone; }

    using Runner = std::function<void(CLongTask& task, const std::function<void()>& work)>;
    // Installs the runner; an empty function restores running at once.
    static void SetRunner(Runner runner);

    // Runs work as the installed runner does. An exception the work throws comes
    // out of Run on the calling thread.
    void Run(const std::function<void()>& work);
    // True while a task runs: what would ask the user a question waits.
    static bool IsAnyRunning() { return s_nRunning > 0; }

    // Called by every Step before it answers, on the thread that steps (tests
    // hold a task there to see it running).
    static std::function<void(CLongTask& task)> s_stepHook;

private:
    static int s_nRunning;

    QString m_strText;
    std::atomic<qint64> m_nTotal;
    std::atomic<qint64> m_nDone{0};
    std::atomic<bool> m_bCancelled{false};
};

// Thrown out of work the user cancelled; it is no failure and gets no message.
class CUserException {
};
