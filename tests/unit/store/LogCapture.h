#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QStringList>
#include <QtGlobal>

// Collects the debug lines written while it lives (warnings and worse still reach Qt Test).
class LogCapture
{
public:
    LogCapture()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QStringList& lines() const { return m_lines; }
    void clear() { m_lines.clear(); }
    // Whether some line contains text.
    bool contains(const QString& text) const
    {
        for (const QString& line : m_lines)
            if (line.contains(text))
                return true;
        return false;
    }
    // Whether some line starts with text.
    bool hasLineStartingWith(const QString& text) const
    {
        for (const QString& line : m_lines)
            if (line.startsWith(text))
                return true;
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (s_current)
            s_current->m_lines << message;
        if (type != QtDebugMsg && s_current && s_current->m_previous)
            s_current->m_previous(type, context, message);
    }

    inline static LogCapture* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    QStringList m_lines;
};

#endif
