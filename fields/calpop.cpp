#include "fields/calpop.h"

#include "fields/dateedit.h"
#include "fields/fieldsupport.h"
#include "platform/dates.h"
#include "ui_calpop.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <cmath>

namespace mk {

namespace {
const QColor Silver(192, 192, 192);
const QColor Gray(128, 128, 128);
const char* const DayNames[7] = {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"};
constexpr int ArrowBox = 16;

// Whether a 29 February lies in [from, to].
bool leapDayBetween(const QDate& from, const QDate& to)
{
    for (int year = from.year(); year <= to.year(); ++year) {
        if (!fields::isLeapYear(year))
            continue;
        const QDate leapDay(year, 2, 29);
        if (leapDay >= from && leapDay <= to)
            return true;
    }
    return false;
}
} // namespace

TfrmCalPop::TfrmCalPop(TDateEdit* edit)
    : QDialog(edit ? edit->window() : nullptr)
    , m_ui(std::make_unique<Ui::TfrmCalPop>())
    , m_edit(edit)
{
    m_ui->setupUi(this);
    Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint;
    if (edit && (edit->window()->windowFlags() & Qt::WindowStaysOnTopHint))
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Silver);
    setPalette(pal);
    setAutoFillBackground(true);

    m_ui->TodayBtn->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    m_ui->CancelBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(m_ui->TodayBtn, &QPushButton::clicked, this, [this] { done(TodayResult); });
    connect(m_ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    layoutForm();
    const double start = edit && !edit->isEmpty() ? edit->dateValue() : todayValue();
    QDate date = dateFromValue(start);
    if (!date.isValid())
        date = QDate::currentDate();
    m_date = date;
    fillCaptions();
    m_cell = 0;
    for (int c = 1; c <= 42; ++c) {
        if (m_days[c - 1] == m_date.day())
            m_cell = c;
    }
    m_previousCell = m_cell;
}

TfrmCalPop::~TfrmCalPop() = default;

QFont TfrmCalPop::calendarFont(bool bold) const
{
    QFont f = font();
    f.setBold(bold);
    return f;
}

void TfrmCalPop::layoutForm()
{
    const QFontMetrics fm(calendarFont(false));
    m_unit = int(std::lround(1.6 * fm.averageCharWidth()));
    m_rowHeight = int(std::lround(fm.height() * 4.0 / 3.0));
    const int w = 21 * m_unit + 8;
    const int h = 8 * m_rowHeight + 28;
    setFixedSize(w, h);
    const int centre = w / 2;
    const QSize buttonSize(30, 24);
    m_ui->TodayBtn->setGeometry(
            QRect(QPoint(centre - 4 - buttonSize.width(), h - 4 - buttonSize.height()), buttonSize));
    m_ui->CancelBtn->setGeometry(QRect(QPoint(centre + 4, h - 4 - buttonSize.height()), buttonSize));
}

void TfrmCalPop::fillCaptions()
{
    const QDate first(m_date.year(), m_date.month(), 1);
    const int firstCell = first.dayOfWeek() % 7 + 1; // 1 = Sunday
    const int length = fields::daysInMonth(m_date.year(), m_date.month());
    for (int c = 1; c <= 42; ++c) {
        const int day = c - firstCell + 1;
        m_days[c - 1] = day >= 1 && day <= length ? day : 0;
    }
}

int TfrmCalPop::dayInCell(int cell) const
{
    return cell >= 1 && cell <= 42 ? m_days[cell - 1] : 0;
}

QRect TfrmCalPop::cellRect(int cell) const
{
    const int row = (cell - 1) / 7;
    const int column = (cell - 1) % 7;
    return QRect(4 + column * 3 * m_unit, (row + 2) * m_rowHeight, 3 * m_unit, m_rowHeight);
}

QRect TfrmCalPop::leftArrowRect() const
{
    return QRect(4, 2, ArrowBox, ArrowBox);
}

QRect TfrmCalPop::rightArrowRect() const
{
    return QRect(width() - 4 - ArrowBox, 2, ArrowBox, ArrowBox);
}

int TfrmCalPop::cellAt(const QPoint& pos) const
{
    for (int c = 1; c <= 42; ++c) {
        if (cellRect(c).contains(pos))
            return c;
    }
    return 0;
}

QPoint TfrmCalPop::placement(const QRect& screen) const
{
    if (!m_edit)
        return pos();
    return fields::popupPosition(fields::globalRect(m_edit), size(), screen);
}

void TfrmCalPop::setSelectedDate(const QDate& date)
{
    selectDate(date);
}

void TfrmCalPop::selectDate(const QDate& date)
{
    if (!date.isValid())
        return;
    const bool sameMonth = date.year() == m_date.year() && date.month() == m_date.month();
    m_date = date;
    m_previousCell = m_cell;
    if (!sameMonth)
        fillCaptions();
    for (int c = 1; c <= 42; ++c) {
        if (m_days[c - 1] == m_date.day())
            m_cell = c;
    }
    if (sameMonth) {
        // Only the two cells and the title change.
        update(cellRect(m_previousCell));
        update(cellRect(m_cell));
        update(QRect(0, 0, width(), m_rowHeight));
    } else {
        update();
    }
}

void TfrmCalPop::moveBy(int days)
{
    selectDate(m_date.addDays(days));
}

void TfrmCalPop::pageUp()
{
    const QDate previous = m_date.addMonths(-1);
    moveBy(-fields::daysInMonth(previous.year(), previous.month()));
}

void TfrmCalPop::pageDown()
{
    moveBy(fields::daysInMonth(m_date.year(), m_date.month()));
}

void TfrmCalPop::yearForward()
{
    const QDate target = m_date.addDays(365);
    moveBy(leapDayBetween(m_date.addDays(1), target) ? 366 : 365);
}

void TfrmCalPop::yearBack()
{
    const QDate target = m_date.addDays(-365);
    moveBy(leapDayBetween(target, m_date.addDays(-1)) ? -366 : -365);
}

void TfrmCalPop::chooseAndClose()
{
    if (m_edit && !m_edit->isLocked())
        m_edit->setDateValue(toDateValue(m_date));
    accept();
}

void TfrmCalPop::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        chooseAndClose();
        break;
    case Qt::Key_Escape:
        reject();
        break;
    case Qt::Key_Left:
        moveBy(-1);
        break;
    case Qt::Key_Right:
        moveBy(1);
        break;
    case Qt::Key_Up:
        moveBy(-7);
        break;
    case Qt::Key_Down:
        moveBy(7);
        break;
    case Qt::Key_PageUp:
        pageUp();
        break;
    case Qt::Key_PageDown:
        pageDown();
        break;
    case Qt::Key_Home:
        yearForward();
        break;
    case Qt::Key_End:
        yearBack();
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TfrmCalPop::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->position().toPoint();
    if (leftArrowRect().contains(p)) {
        pageUp();
        return;
    }
    if (rightArrowRect().contains(p)) {
        pageDown();
        return;
    }
    const int cell = cellAt(p);
    if (cell && dayInCell(cell)) {
        selectDate(QDate(m_date.year(), m_date.month(), dayInCell(cell)));
        m_tracking = true;
    }
}

void TfrmCalPop::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_tracking)
        return;
    const int cell = cellAt(event->position().toPoint());
    if (cell && cell != m_cell && dayInCell(cell))
        selectDate(QDate(m_date.year(), m_date.month(), dayInCell(cell)));
}

void TfrmCalPop::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_tracking)
        return;
    m_tracking = false;
    chooseAndClose();
}

void TfrmCalPop::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_edit)
        move(placement(fields::screenGeometryOf(m_edit)));
    setFocus(Qt::ActiveWindowFocusReason);
}

void TfrmCalPop::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Silver);

    // Raised outer frame.
    p.setPen(Qt::white);
    p.drawLine(0, 0, width() - 1, 0);
    p.drawLine(0, 0, 0, height() - 1);
    p.setPen(Gray);
    p.drawLine(1, height() - 2, width() - 2, height() - 2);
    p.drawLine(width() - 2, 1, width() - 2, height() - 2);
    p.setPen(Qt::black);
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
    p.drawLine(width() - 1, 0, width() - 1, height() - 1);

    // Title: the selected date between two arrow boxes.
    p.setRenderHint(QPainter::Antialiasing);
    for (const bool left : {true, false}) {
        const QRect box = left ? leftArrowRect() : rightArrowRect();
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = box;
        option.state |= QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &p, this);
        const QPointF c = QRectF(box).center();
        QPolygonF triangle;
        if (left)
            triangle << QPointF(c.x() - 3, c.y()) << QPointF(c.x() + 2, c.y() - 4) << QPointF(c.x() + 2, c.y() + 4);
        else
            triangle << QPointF(c.x() + 3, c.y()) << QPointF(c.x() - 2, c.y() - 4) << QPointF(c.x() - 2, c.y() + 4);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPolygon(triangle);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(calendarFont(true));
    p.setPen(Qt::black);
    const QString title = QLocale(QLocale::English).monthName(m_date.month()) + QLatin1Char(' ') +
                          QString::number(m_date.day()) + QStringLiteral(", ") + QString::number(m_date.year());
    const QRect titleRect(leftArrowRect().right() + 2, 0, rightArrowRect().left() - leftArrowRect().right() - 4,
                          qMax(m_rowHeight, ArrowBox + 4));
    p.drawText(titleRect, Qt::AlignCenter, title);

    // Day names with an etched line under them.
    p.setFont(calendarFont(false));
    for (int column = 0; column < 7; ++column) {
        QRect r = cellRect(column + 1).translated(0, -m_rowHeight);
        p.setPen(column == 0 ? QColor(255, 0, 0) : QColor(0, 0, 0));
        p.drawText(r, Qt::AlignCenter, QString::fromLatin1(DayNames[column]));
    }
    const int lineY = 2 * m_rowHeight - 2;
    p.setPen(Gray);
    p.drawLine(4, lineY, width() - 5, lineY);
    p.setPen(Qt::white);
    p.drawLine(4, lineY + 1, width() - 5, lineY + 1);

    // The days of the month.
    const QDate today = QDate::currentDate();
    for (int c = 1; c <= 42; ++c) {
        const int day = m_days[c - 1];
        if (!day)
            continue;
        const QRect r = cellRect(c);
        const bool selected = c == m_cell;
        if (selected) {
            const QRect f = r.adjusted(2, 1, -3, -2);
            p.setPen(Gray);
            p.drawLine(f.topLeft(), f.topRight());
            p.drawLine(f.topLeft(), f.bottomLeft());
            p.setPen(Qt::white);
            p.drawLine(f.bottomLeft(), f.bottomRight());
            p.drawLine(f.topRight(), f.bottomRight());
        }
        QColor colour(0, 0, 0);
        if (day == today.day() && m_date.month() == today.month() && m_date.year() == today.year())
            colour = QColor(255, 255, 0);
        else if ((c - 1) % 7 == 0)
            colour = QColor(255, 0, 0);
        p.setPen(colour);
        p.setFont(calendarFont(selected));
        p.drawText(r, Qt::AlignCenter, QString::number(day));
    }
}

} // namespace mk
