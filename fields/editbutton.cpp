#include "fields/editbutton.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace mk {

TEditButton::TEditButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("button"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setFixedWidth(ButtonWidth);
}

QSize TEditButton::sizeHint() const
{
    return QSize(ButtonWidth, 20);
}

void TEditButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);

    // The owner's enabled state decides the dot colour (a locked owner stays enabled).
    const QWidget* owner = parentWidget();
    const bool ownerEnabled = owner ? owner->isEnabled() : isEnabled();
    const QColor dot = ownerEnabled ? palette().color(QPalette::Active, QPalette::ButtonText) : QColor(128, 128, 128);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dot);
    const qreal r = qMax<qreal>(1.0, width() / 14.0);
    const qreal y = height() / 2.0 + (isDown() ? 1 : 0);
    const qreal shift = isDown() ? 1 : 0;
    for (int q = 1; q <= 3; ++q)
        painter.drawEllipse(QPointF(width() * q / 4.0 + shift, y), r, r);
}

} // namespace mk
