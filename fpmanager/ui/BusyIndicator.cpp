#include "BusyIndicator.h"

#include <QPainter>

namespace
{

const int kStepMs = 100;
const int kSpokes = 12;
// Waits shorter than this show the wheel alone.
const qint64 kShowTimeAfterMs = 3000;

} // namespace

BusyIndicator::BusyIndicator(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(kStepMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % kSpokes;
        update();
    });
    hide();
}

void BusyIndicator::start()
{
    m_step = 0;
    m_elapsed.start();
    m_timer.start();
    show();
    raise();
}

void BusyIndicator::stop()
{
    m_timer.stop();
    hide();
}

QString BusyIndicator::elapsedText(qint64 ms)
{
    if (ms < kShowTimeAfterMs)
        return QString();
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString BusyIndicator::elapsedText() const { return isRunning() ? elapsedText(m_elapsed.elapsed()) : QString(); }

QSize BusyIndicator::sizeHint() const { return { 72, 20 }; }

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = height();
    const QPointF centre(side / 2.0, side / 2.0);
    const qreal outer = side / 2.0 - 1;
    const qreal inner = outer / 2.0;
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke of the current step is darkest; the ones behind it fade.
        const int age = (m_step - i + kSpokes) % kSpokes;
        QColor colour(0, 0, 255);
        colour.setAlphaF(1.0 - 0.8 * age / kSpokes);
        painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.translate(centre);
        painter.rotate(360.0 * i / kSpokes);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer));
        painter.restore();
    }
    const QString text = elapsedText();
    if (!text.isEmpty()) {
        painter.setPen(Qt::blue);
        painter.drawText(QRect(side + 4, 0, width() - side - 4, side), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}
