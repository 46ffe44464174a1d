#pragma once

class QFileDevice;

// The file a document is loaded from or stored to. Documents read and write the
// file object directly (GetFile) in one call; the archive keeps no buffer.
class CArchive {
public:
    enum Mode { load, store };

    CArchive(QFileDevice* pFile, Mode mode) : m_pFile(pFile), m_mode(mode) {}

    bool IsLoading() const { return m_mode == load; }
    bool IsStoring() const { return m_mode == store; }
    QFileDevice* GetFile() const { return m_pFile; }

private:
    QFileDevice* m_pFile;
    Mode m_mode;
};
