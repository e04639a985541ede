// The numeric field, the calculator and the calculated field.

#include "fields/calcdlg.h"
#include "fields/calcedit.h"
#include "fields/currencyedit.h"
#include "fields/editbutton.h"
#include "platform/locale.h"
#include "platform/scriptedprompter.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "tests/fields/printers.h"

#include <gtest/gtest.h>

#include <functional>

using namespace mk;

namespace {

struct NumericForm
{
    QWidget window;
    TCurrencyEdit* bottles;
    TCurrencyEdit* cost;
    TCalcEdit* total;
    QLineEdit* other;

    NumericForm()
    {
        auto* layout = new QVBoxLayout(&window);
        bottles = new TCurrencyEdit(&window);
        bottles->setDisplayFormat(QStringLiteral(",0"));
        cost = new TCurrencyEdit(&window);
        total = new TCalcEdit(&window);
        total->setEmptyText(QStringLiteral("0.00"));
        total->setField1(bottles);
        total->setField2(cost);
        total->setFormula(QStringLiteral("@1*@2"));
        other = new QLineEdit(&window);
        for (QWidget* w : {static_cast<QWidget*>(bottles), static_cast<QWidget*>(cost), static_cast<QWidget*>(total),
                           static_cast<QWidget*>(other)})
            layout->addWidget(w);
        window.show();
        window.activateWindow();
        QApplication::processEvents();
    }

    void type(TCurrencyEdit* edit, const char* keys)
    {
        edit->setFocus(Qt::TabFocusReason);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, QString::fromLatin1(keys));
        other->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }
};

// Presses keys in the calculator that a field opens, from inside its modal loop.
void whileCalculatorOpen(std::function<void(TCalcDlg*)> act)
{
    QTimer::singleShot(0, [act] {
        auto* dlg = qobject_cast<TCalcDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        act(dlg);
    });
}

QString calculate(const char* keys)
{
    TCalcDlg dlg;
    dlg.show();
    for (const char* k = keys; *k; ++k) {
        if (*k == '\b')
            QTest::keyClick(&dlg, Qt::Key_Backspace);
        else
            QTest::keyClick(&dlg, *k);
    }
    return dlg.display();
}

} // namespace

TEST(CurrencyEdit, ParsesFormatsAndColoursBySign)
{
    ScriptedPrompter prompter;
    ScopedPrompter use(prompter);
    NumericForm form;
    EXPECT_EQ(form.cost->text(), "0.00");
    EXPECT_EQ(form.cost->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    form.type(form.cost, "1234.5");
    EXPECT_EQ(form.cost->text(), "1,234.50");
    EXPECT_DOUBLE_EQ(form.cost->Value(), 1234.5);
    EXPECT_EQ(form.cost->textColor(), QColor(0, 0, 255));

    form.type(form.cost, "-12");
    EXPECT_EQ(form.cost->text(), "-12.00");
    EXPECT_EQ(form.cost->textColor(), QColor(255, 0, 0));

    // Other keys are dropped without a beep.
    form.type(form.cost, "1a2+b(3");
    EXPECT_EQ(form.cost->text(), "123.00");
    EXPECT_EQ(prompter.beepCount(), 0);

    // A text put in by the record form: "(" reads as negative, separators vanish.
    form.cost->setText(QStringLiteral("($1,234.50)"));
    form.cost->parseAndFormat();
    EXPECT_DOUBLE_EQ(form.cost->Value(), -1234.5);
    EXPECT_EQ(form.cost->text(), "-1,234.50");

    // Unreadable text: information beep, the old value comes back.
    form.cost->setText(QStringLiteral("1.2.3"));
    EXPECT_FALSE(form.cost->parseAndFormat());
    EXPECT_EQ(form.cost->text(), "-1,234.50");
    ASSERT_EQ(prompter.beepCount(), 1);
    EXPECT_EQ(prompter.callsOf(ScriptedPrompter::Kind::Beep).at(0).beep, BeepKind::Information);

    form.cost->setValue(-0.0);
    form.cost->setValue(5);
    EXPECT_EQ(form.cost->text(), "5.00");
    EXPECT_EQ(form.cost->textColor(), QColor(0, 0, 255));
    form.cost->setDisplayFormat(QStringLiteral(",0"));
    EXPECT_EQ(form.cost->text(), "5");
}

TEST(CurrencyEdit, LocaleDecimalSeparator)
{
    Locale german = Locale::english();
    german.decimalSeparator = QLatin1Char(',');
    german.thousandsSeparator = QLatin1Char('.');
    ScopedLocale use(german);
    NumericForm form;
    form.type(form.cost, "1234,5");
    EXPECT_EQ(form.cost->text(), "1.234,50");
    form.type(form.cost, "12.5"); // '.' is not typed
    EXPECT_EQ(form.cost->text(), "125,00");
}

TEST(CalcDlg, KeySemantics)
{
    const std::pair<const char*, const char*> cases[] = {
            {"200+10%", "220"},
            {"200*10%", "20"},
            {"5/0=", "Error"},
            {"5/0=123+4=", "Error"},
            {"5/0=C7", "7"},
            {"1/3=", "0.3333333333"},
            {"2_", "-2"},
            {"2+3=", "5"},
            {"2+3*4=", "20"},
            {"10-15=", "-5"},
            {"1.5.5", "1.55"},
            {"123\b\b\b", "0"},
            {"12+", "12"},
            {"12++3=", "15"},
            {"9=+1=", "10"},
            {"c", "0"},
            {"1234567890123456789", "123456789012345"},
            {"999999999999999*999999999999999=", "Error"},
            {"123456789*1000=", "123456789000"},
            {"99999999999*99999999999=", "9999999999800000000000"},
            {"99999999999_*99999999999=", "-9999999999800000000000"},
            {"200-10%", "180"},
            {"50/10%", "500"},
    };
    for (const auto& [keys, shown] : cases)
        EXPECT_EQ(calculate(keys), QString::fromLatin1(shown)) << keys;
}

TEST(CalcDlg, LayoutAndButtons)
{
    TCalcDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.size(), QSize(115, 176));
    auto* b7 = dlg.findChild<QPushButton*>(QStringLiteral("B_7"));
    auto* plus = dlg.findChild<QPushButton*>(QStringLiteral("B_Plus"));
    auto* equ = dlg.findChild<QPushButton*>(QStringLiteral("B_Equ"));
    auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("B_OK"));
    ASSERT_TRUE(b7 && plus && equ && ok);
    EXPECT_EQ(b7->geometry(), QRect(6, 32, 25, 25));
    EXPECT_EQ(ok->geometry(), QRect(21, 143, 33, 27));
    EXPECT_EQ(plus->toolTip(), "Add");
    QTest::mouseClick(b7, Qt::LeftButton);
    QTest::mouseClick(plus, Qt::LeftButton);
    QTest::mouseClick(b7, Qt::LeftButton);
    QTest::mouseClick(equ, Qt::LeftButton);
    EXPECT_EQ(dlg.display(), "14");
    EXPECT_EQ(dlg.focusWidget(), ok) << "after a click the focus returns to OK";
}

TEST(CurrencyEdit, CalculatorWritesIntoTheField)
{
    NumericForm form;
    form.cost->setValue(12.5);
    // 2 +/- then OK: -2 in the negative colour.
    QStringList shown;
    whileCalculatorOpen([&](TCalcDlg* dlg) {
        shown << form.cost->text();
        QTest::keyClick(dlg, '2');
        QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("B_Sign")), Qt::LeftButton);
        shown << form.cost->text();
        QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("B_OK")), Qt::LeftButton);
    });
    EXPECT_EQ(form.cost->showCalculator(), QDialog::Accepted);
    EXPECT_EQ(shown, QStringList({"0", "-2"}));
    EXPECT_EQ(form.cost->text(), "-2.00");
    EXPECT_EQ(form.cost->textColor(), QColor(255, 0, 0));

    // Enter computes and closes with OK.
    whileCalculatorOpen([](TCalcDlg* dlg) {
        QTest::keyClicks(dlg, "7*3");
        QTest::keyClick(dlg, Qt::Key_Return);
    });
    form.cost->showCalculator();
    EXPECT_EQ(form.cost->text(), "21.00");

    // Cancel restores the previous text exactly.
    form.cost->setValue(1234.5);
    whileCalculatorOpen([](TCalcDlg* dlg) {
        QTest::keyClicks(dlg, "99");
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    form.cost->button()->click();
    EXPECT_EQ(form.cost->text(), "1,234.50");
    EXPECT_DOUBLE_EQ(form.cost->Value(), 1234.5);
}

TEST(CalcEdit, TotalFollowsItsFields)
{
    NumericForm form;
    int costChanges = 0;
    QObject::connect(form.cost, &QLineEdit::textChanged, [&] { ++costChanges; });
    EXPECT_EQ(form.total->text(), "0.00");
    EXPECT_EQ(form.total->fieldText(), "");
    EXPECT_EQ(form.total->textLength(), 0);

    form.type(form.bottles, "3");
    form.type(form.cost, "12.50");
    EXPECT_EQ(form.total->text(), "37.50");
    EXPECT_EQ(form.total->fieldText(), "37.50");
    EXPECT_GT(costChanges, 0) << "the linked field keeps its own change handler";

    form.cost->clear();
    EXPECT_EQ(form.total->text(), "0.00");

    // A text set from outside is replaced by the result.
    form.type(form.cost, "1000");
    form.total->setText(QStringLiteral("12"));
    EXPECT_EQ(form.total->text(), "3,000.00");
    EXPECT_EQ(form.total->palette().color(QPalette::Text), QColor(0, 0, 255));
    EXPECT_EQ(form.total->palette().color(QPalette::Base), QColor(255, 255, 255));
}

TEST(CalcEdit, FormulasGoStrictlyLeftToRight)
{
    QLineEdit a, b, c;
    QComboBox combo;
    combo.setEditable(true);
    TCalcEdit calc;
    calc.setField(1, &a);
    calc.setField(2, &b);
    calc.setField(3, &c);
    a.setText(QStringLiteral("1"));
    b.setText(QStringLiteral("2"));
    c.setText(QStringLiteral("3"));
    struct Case
    {
        const char* formula;
        const char* shown;
    };
    const Case cases[] = {
            {"@1+@2*@3", "9.00"},      {"@3-@2-@1", "0.0"}, {"@1/@2", "0.50"}, {"@3*~2", "-6.00"},  {"@1+.5", "1.50"},
            {"@1*1000.5", "1,000.50"}, {"@1/0", "****"},    {"@1+@4", "****"}, {"@1 + @2", "****"}, {"@1+x", "****"},
            {"1.2.3", "****"},         {"@3", "3.00"},      {"", "0.0"},
    };
    for (const auto& k : cases) {
        calc.setFormula(QString::fromLatin1(k.formula));
        EXPECT_EQ(calc.text(), QString::fromLatin1(k.shown)) << k.formula;
    }
    calc.setFormula(QStringLiteral("@3*~2"));
    EXPECT_TRUE(calc.negative());
    EXPECT_EQ(calc.palette().color(QPalette::Text), QColor(255, 0, 0));

    // Operand texts lose signs, currency symbols and thousands separators.
    calc.setFormula(QStringLiteral("@1+@2"));
    a.setText(QStringLiteral("$1,200.50"));
    b.setText(QStringLiteral("abc"));
    EXPECT_EQ(calc.text(), "1,200.50");
    // Only edits and combo boxes are linked; a combo box counts by its text.
    QWidget plain;
    calc.setField(2, &plain);
    EXPECT_EQ(calc.field(2), nullptr);
    EXPECT_EQ(calc.text(), "****");
    calc.setField(2, &combo);
    combo.setEditText(QStringLiteral("2"));
    EXPECT_EQ(calc.text(), "1,202.50");
}

TEST(CalcEdit, LocaleDecimalSeparator)
{
    Locale german = Locale::english();
    german.decimalSeparator = QLatin1Char(',');
    german.thousandsSeparator = QLatin1Char('.');
    ScopedLocale use(german);
    NumericForm form;
    EXPECT_EQ(form.total->EmptyText(), "0,00");
    EXPECT_EQ(form.total->text(), "0,00");
    form.type(form.bottles, "2");
    form.type(form.cost, "1000,25");
    EXPECT_EQ(form.total->text(), "2.000,50");
    // The calculator's '.' becomes the decimal separator in the field.
    whileCalculatorOpen([](TCalcDlg* dlg) {
        QTest::keyClicks(dlg, "1.5");
        QTest::keyClick(dlg, Qt::Key_Return);
    });
    form.cost->showCalculator();
    EXPECT_EQ(form.cost->text(), "1,50");
    EXPECT_EQ(form.total->text(), "3,00");
}
