// The editors in their states and their popups, rendered headless; the
// pictures land in the build folder (screenshots/) for looking at.

#include "fields/calcdlg.h"
#include "fields/calpop.h"
#include "fields/dateedit.h"
#include "fields/editbutton.h"
#include "fields/fieldgallery.h"
#include "platform/dates.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

using namespace mk;

namespace {
QString shotPath(const QString& name)
{
    QDir().mkpath(QStringLiteral("screenshots"));
    return QDir(QStringLiteral("screenshots")).absoluteFilePath(name);
}

// True when the picture holds more than a couple of colours (it drew something).
bool looksDrawn(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    }
    return colours.size() > 8;
}
} // namespace

TEST(Gallery, RendersEveryControl)
{
    TFieldGallery gallery;
    gallery.resize(360, 420);
    gallery.show();
    QApplication::processEvents();
    const QImage image = gallery.grab().toImage();
    EXPECT_TRUE(looksDrawn(image));
    EXPECT_TRUE(image.save(shotPath(QStringLiteral("gallery.png"))));

    // The button sits inside the right edge at full client height.
    TEditButton* button = gallery.dateEdit()->button();
    EXPECT_EQ(button->width(), TEditButton::ButtonWidth);
    EXPECT_LE(button->geometry().right(), gallery.dateEdit()->width() - 1);
    EXPECT_GE(button->height(), gallery.dateEdit()->height() - 8);
    EXPECT_EQ(gallery.dateEdit()->textMargins().right(), TEditButton::ButtonWidth + 1);
}

TEST(Gallery, CalendarAndCalculatorPictures)
{
    TDateEdit edit;
    edit.setDateFormat(QStringLiteral("mm/dd/yyyy"));
    edit.setDateValue(toDateValue(QDate(2000, 3, 15)));
    edit.show();
    TfrmCalPop calendar(&edit);
    calendar.show();
    QApplication::processEvents();
    const QImage cal = calendar.grab().toImage();
    EXPECT_TRUE(looksDrawn(cal));
    EXPECT_TRUE(cal.save(shotPath(QStringLiteral("calendar.png"))));

    TCalcDlg calculator;
    calculator.show();
    QApplication::processEvents();
    const QImage calc = calculator.grab().toImage();
    EXPECT_TRUE(looksDrawn(calc));
    EXPECT_TRUE(calc.save(shotPath(QStringLiteral("calculator.png"))));
}
