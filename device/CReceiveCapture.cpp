#include "device/CReceiveCapture.h"

bool CReceiveCapture::Start(const QString& path, QString* why)
{
    Stop();
    m_file.setFileName(path);
    m_written = 0;
    m_problem.clear();
    // Unbuffered would cost a system call per read; QFile's buffer gathers
    // a busy line's reads into a few writes a second.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (why)
            *why = m_file.errorString();
        return false;
    }
    return true;
}

bool CReceiveCapture::Write(const QByteArray& bytes)
{
    if (!m_file.isOpen())
        return false;
    if (m_file.write(bytes) != bytes.size()) {
        m_problem = m_file.errorString();
        m_file.close();
        return false;
    }
    m_written += bytes.size();
    return true;
}

void CReceiveCapture::Stop()
{
    if (!m_file.isOpen())
        return;
    if (!m_file.flush())
        m_problem = m_file.errorString();
    m_file.close();
}
