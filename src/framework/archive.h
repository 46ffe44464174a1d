#pragma once

#include "longtask.h"

#include <QFileDevice>
#include <QString>

// The file a document is loaded from or stored to. Documents read and write the
// file object directly (GetFile) in one call; the archive keeps no buffer.
//
// A long load or store reports the bytes it has done with Progress, which
// returns false once the user has cancelled; the document then throws
// CUserException. Without a task there is nothing to report to or cancel.
class CArchive {
public:
    enum Mode { load, store };

    CArchive(QFileDevice* pFile, Mode mode, const QString& fileName = QString(), CLongTask* pTask = nullptr)
        : m_pFile(pFile), m_mode(mode), m_strFileName(fileName), m_pTask(pTask)
    {
    }

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }
    QFileDevice* GetFile() const { return m_pFile; }
    // The name messages give the file: a file opened from a descriptor has none.
    QString GetFileName() const { return m_strFileName.isEmpty() ? m_pFile->fileName() : m_strFileName; }

    bool Progress(qint64 nBytes) const { return !m_pTask || m_pTask->Step(nBytes); }
    void SetProgressTotal(qint64 nTotal) const
    {
        if (m_pTask)
            m_pTask->SetTotal(nTotal);
    }

private:
    QFileDevice* m_pFile;
    Mode m_mode;
    QString m_strFileName;
    CLongTask* m_pTask;
};
