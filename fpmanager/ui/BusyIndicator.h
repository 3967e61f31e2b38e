#ifndef BUSYINDICATOR_H
#define BUSYINDICATOR_H

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

// A small turning wheel that shows that the printer is at work; after a few seconds it also shows
// how long the wait has lasted ("0:42"). Hidden while nothing runs.
class BusyIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget* parent = nullptr);

    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }
    // What the indicator writes beside the wheel: empty for the first seconds of a wait, then the
    // time waited as minutes and seconds.
    QString elapsedText() const;
    // The same for a wait of ms milliseconds.
    static QString elapsedText(qint64 ms);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    QElapsedTimer m_elapsed;
    int m_step = 0;
};

#endif
