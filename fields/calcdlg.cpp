#include "fields/calcdlg.h"

#include "fields/fieldsupport.h"
#include "ui_calcdlg.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace mk {

TCalcDlg::TCalcDlg(QWidget* anchor)
    : QDialog(anchor ? anchor->window() : nullptr)
    , m_ui(std::make_unique<Ui::TCalcDlg>())
    , m_anchor(anchor)
{
    m_ui->setupUi(this);
    Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint;
    if (anchor && (anchor->window()->windowFlags() & Qt::WindowStaysOnTopHint))
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFixedSize(115, 176);

    const struct
    {
        QPushButton* button;
        char key;
    } keys[] = {
            {m_ui->B_C, 'C'},    {m_ui->B_Del, '\b'}, {m_ui->B_Sign, '_'}, {m_ui->B_Div, '/'},  {m_ui->B_Mult, '*'},
            {m_ui->B_Subt, '-'}, {m_ui->B_Plus, '+'}, {m_ui->B_Dot, '.'},  {m_ui->B_Perc, '%'}, {m_ui->B_Equ, '='},
            {m_ui->B_0, '0'},    {m_ui->B_1, '1'},    {m_ui->B_2, '2'},    {m_ui->B_3, '3'},    {m_ui->B_4, '4'},
            {m_ui->B_5, '5'},    {m_ui->B_6, '6'},    {m_ui->B_7, '7'},    {m_ui->B_8, '8'},    {m_ui->B_9, '9'},
    };
    for (const auto& k : keys) {
        k.button->setProperty("Tag", int(k.key));
        const QChar key = QLatin1Char(k.key);
        connect(k.button, &QPushButton::clicked, this, [this, key] {
            pressKey(key);
            // Enter then always closes with OK.
            m_ui->B_OK->setFocus();
        });
        k.button->installEventFilter(this);
    }
    m_ui->B_OK->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    m_ui->B_Cancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    m_ui->B_OK->installEventFilter(this);
    m_ui->B_Cancel->installEventFilter(this);
    connect(m_ui->B_OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->B_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TCalcDlg::~TCalcDlg() = default;

void TCalcDlg::pressKey(QChar key)
{
    m_register.press(key);
    emit displayChanged(m_register.display());
}

QPoint TCalcDlg::placement(const QRect& screen) const
{
    if (!m_anchor)
        return pos();
    return fields::popupPosition(fields::globalRect(m_anchor), size(), screen);
}

bool TCalcDlg::handleKey(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        reject();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pressKey(QLatin1Char('\r'));
        accept();
        return true;
    case Qt::Key_Backspace:
        pressKey(QLatin1Char('\b'));
        return true;
    default:
        break;
    }
    const QString text = event->text();
    if (text.size() == 1 && text.at(0).isPrint() && TCalcRegister::isKey(text.at(0))) {
        pressKey(text.at(0));
        return true;
    }
    return false;
}

bool TCalcDlg::eventFilter(QObject* watched, QEvent* event)
{
    // Keys reach the dialog before the button that has the focus.
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TCalcDlg::keyPressEvent(QKeyEvent* event)
{
    if (handleKey(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TCalcDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_cleared) {
        m_cleared = true;
        pressKey(QLatin1Char('C'));
    }
    if (m_anchor)
        move(placement(fields::screenGeometryOf(m_anchor)));
    m_ui->B_OK->setFocus();
}

void TCalcDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(192, 192, 192));
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.setPen(Qt::white);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(QColor(128, 128, 128));
    p.drawLine(r.bottomLeft() + QPoint(1, -1), r.bottomRight() + QPoint(-1, -1));
    p.drawLine(r.topRight() + QPoint(-1, 1), r.bottomRight() + QPoint(-1, -1));
    p.setPen(Qt::black);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

} // namespace mk
