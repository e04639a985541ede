#include "shell/settings/valuestream.h"

#include "settings_test_support.h"

#include <climits>

using namespace mk;
using mk::test::bytesOf;
using mk::test::hex;

namespace {

struct IntegerCase
{
    qint32 value;
    QByteArray bytes;
};

TEST(ValueStream, IntegersTakeTheSmallestTag)
{
    const IntegerCase cases[] = {
            {0, bytesOf({2, 0x00})},
            {1, bytesOf({2, 0x01})},
            {-1, bytesOf({2, 0xFF})},
            {127, bytesOf({2, 0x7F})},
            {-128, bytesOf({2, 0x80})},
            {128, bytesOf({3, 0x80, 0x00})},
            {-129, bytesOf({3, 0x7F, 0xFF})},
            {300, bytesOf({3, 0x2C, 0x01})},
            {32767, bytesOf({3, 0xFF, 0x7F})},
            {-32768, bytesOf({3, 0x00, 0x80})},
            {32768, bytesOf({4, 0x00, 0x80, 0x00, 0x00})},
            {-32769, bytesOf({4, 0xFF, 0x7F, 0xFF, 0xFF})},
            {INT_MAX, bytesOf({4, 0xFF, 0xFF, 0xFF, 0x7F})},
            {INT_MIN, bytesOf({4, 0x00, 0x00, 0x00, 0x80})},
    };
    for (const IntegerCase& c : cases) {
        TValueWriter w;
        w.writeInteger(c.value);
        EXPECT_EQ(hex(w.bytes()), hex(c.bytes)) << c.value;
        TValueReader r(c.bytes);
        EXPECT_EQ(r.readInteger(), c.value);
        EXPECT_TRUE(r.ok());
        EXPECT_TRUE(r.atEnd());
    }
}

TEST(ValueStream, IntegerFieldAcceptsAnyIntegerTag)
{
    // A wider tag than needed is still read (another writer may use it).
    TValueReader r(bytesOf({4, 5, 0, 0, 0, 3, 0xFE, 0xFF, 2, 9}));
    EXPECT_EQ(r.readInteger(), 5);
    EXPECT_EQ(r.readInteger(), -2);
    EXPECT_EQ(r.readInteger(), 9);
    EXPECT_TRUE(r.ok());
}

TEST(ValueStream, StringsUseTag6UpTo255BytesAndTag12Beyond)
{
    TValueWriter w;
    w.writeString(QString());
    w.writeString(QStringLiteral("Abc"));
    w.writeString(QString::fromUtf8("Ros\u00e9")); // one Windows-1252 byte for the accent
    EXPECT_EQ(hex(w.bytes()), hex(bytesOf({6, 0, 6, 3, 'A', 'b', 'c', 6, 4, 'R', 'o', 's', 0xE9})));

    const QString s255(255, QLatin1Char('x'));
    const QString s256(256, QLatin1Char('y'));
    TValueWriter longer;
    longer.writeString(s255);
    longer.writeString(s256);
    const QByteArray& b = longer.bytes();
    ASSERT_EQ(b.size(), 2 + 255 + 5 + 256);
    EXPECT_EQ(quint8(b[0]), 6);
    EXPECT_EQ(quint8(b[1]), 255);
    EXPECT_EQ(hex(b.mid(257, 5)), hex(bytesOf({12, 0x00, 0x01, 0x00, 0x00})));

    TValueReader r(w.bytes() + b);
    EXPECT_EQ(r.readString(), QString());
    EXPECT_EQ(r.readString(), QStringLiteral("Abc"));
    EXPECT_EQ(r.readString(), QString::fromUtf8("Ros\u00e9"));
    EXPECT_EQ(r.readString(), s255);
    EXPECT_EQ(r.readString(), s256);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.atEnd());
}

TEST(ValueStream, ListMarkersAndRawForms)
{
    TValueWriter w;
    w.writeListBegin();
    w.writeRawShortString(QStringLiteral("Red"));
    w.writeRawBlock(bytesOf({1, 2, 3}));
    w.writeRawByte(0xAB);
    w.writeRawInt16(-2);
    w.writeRawUInt16(0x1234);
    w.writeRawInt32(0x01020304);
    w.writeListEnd();
    EXPECT_EQ(hex(w.bytes()),
              hex(bytesOf({1, 3, 'R', 'e', 'd', 1, 2, 3, 0xAB, 0xFE, 0xFF, 0x34, 0x12, 0x04, 0x03, 0x02, 0x01, 0})));

    TValueReader r(w.bytes());
    r.readListBegin();
    ASSERT_FALSE(r.endOfList());
    EXPECT_EQ(r.readRawShortString(), QStringLiteral("Red"));
    EXPECT_EQ(hex(r.readRawBlock(3)), hex(bytesOf({1, 2, 3})));
    EXPECT_EQ(r.readRawByte(), 0xAB);
    EXPECT_EQ(r.readRawInt16(), -2);
    EXPECT_EQ(r.readRawUInt16(), 0x1234);
    EXPECT_EQ(r.readRawInt32(), 0x01020304);
    EXPECT_TRUE(r.endOfList());
    r.readListEnd();
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.atEnd());
}

TEST(ValueStream, RawShortStringIsCutTo255)
{
    TValueWriter w;
    w.writeRawShortString(QString(300, QLatin1Char('n')));
    ASSERT_EQ(w.bytes().size(), 256);
    EXPECT_EQ(quint8(w.bytes()[0]), 255);
    TValueReader r(w.bytes());
    EXPECT_EQ(r.readRawShortString(), QString(255, QLatin1Char('n')));
}

// A named-template index as its owners write it: name, file name per item.
struct Item
{
    QString name;
    qint32 number = 0;
};

QList<Item> loadItems(const QByteArray& bytes, bool* ok = nullptr)
{
    QList<Item> items;
    TValueReader r(bytes);
    r.readListBegin();
    while (!r.endOfList()) {
        Item item;
        item.name = r.readString();
        item.number = r.readInteger();
        if (!r.ok())
            break;
        items.append(item);
    }
    r.readListEnd();
    if (ok)
        *ok = r.ok();
    return items;
}

QByteArray threeItems()
{
    TValueWriter w;
    w.writeListBegin();
    w.writeString(QStringLiteral("one"));
    w.writeInteger(1);
    w.writeString(QStringLiteral("two"));
    w.writeInteger(200);
    w.writeString(QStringLiteral("three"));
    w.writeInteger(-70000);
    w.writeListEnd();
    return w.bytes();
}

TEST(ValueStream, ListOfOnlyBeginAndEndIsEmpty)
{
    bool ok = false;
    EXPECT_TRUE(loadItems(bytesOf({1, 0}), &ok).isEmpty());
    EXPECT_TRUE(ok);
}

TEST(ValueStream, StreamErrorsKeepTheItemsReadSoFar)
{
    const QByteArray good = threeItems();
    bool ok = false;
    ASSERT_EQ(loadItems(good, &ok).size(), 3);
    EXPECT_TRUE(ok);

    struct Case
    {
        const char* what;
        QByteArray bytes;
        int items;
    };
    QByteArray wrongTag = good;
    wrongTag[good.indexOf("two") - 2] = char(4); // string where an integer tag is expected
    QByteArray intForString = good;
    intForString[good.indexOf("three") - 2 - 3] = char(6); // integer 200 tagged as a string
    const Case cases[] = {
            {"empty file", QByteArray(), 0},
            {"no list begin", good.mid(1), 0},
            {"list begin only", bytesOf({1}), 0},
            {"cut inside the first item", good.left(5), 0},
            {"cut after two items", good.left(good.indexOf("three") - 2), 2},
            {"cut inside a string", good.left(good.indexOf("three") + 2), 2},
            {"cut before the end marker", good.left(good.size() - 1), 3},
            {"bad tag in the second item", wrongTag, 1},
            {"string tag for an integer", intForString, 1},
            {"unknown tag", bytesOf({1, 7, 0}), 0},
            {"long string longer than the file", bytesOf({1, 12, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}), 0},
            {"negative long string length", bytesOf({1, 12, 0xFF, 0xFF, 0xFF, 0xFF, 2, 1, 0}), 0},
    };
    for (const Case& c : cases) {
        bool caseOk = true;
        EXPECT_EQ(loadItems(c.bytes, &caseOk).size(), c.items) << c.what;
        EXPECT_FALSE(caseOk) << c.what;
    }
}

TEST(ValueStream, ReadsAfterAnErrorReturnNothingAndKeepTheFirstError)
{
    TValueReader r(bytesOf({6, 2, 'h', 'i', 9, 2, 5}));
    EXPECT_EQ(r.readString(), QStringLiteral("hi"));
    EXPECT_EQ(r.readInteger(), 0);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.errorOffset(), 4);
    const QString first = r.errorText();
    EXPECT_EQ(r.readInteger(), 0); // the 2, 5 after the bad tag is not read any more
    EXPECT_EQ(r.readString(), QString());
    EXPECT_TRUE(r.readRawBlock(2).isEmpty());
    EXPECT_TRUE(r.endOfList());
    EXPECT_EQ(r.errorText(), first);
}

TEST(ValueStream, SaveToReplacesTheFileAndFromFileReadsIt)
{
    mk::test::TempDir temp;
    const QString path = temp.file(QStringLiteral("list.tml"));
    EXPECT_FALSE(TValueReader::fromFile(path).has_value());
    ASSERT_TRUE(temp.write(QStringLiteral("list.tml"), QByteArray(100, 'z')));
    TValueWriter w;
    w.writeListBegin();
    w.writeListEnd();
    ASSERT_TRUE(w.saveTo(path));
    EXPECT_EQ(hex(temp.read(QStringLiteral("list.tml"))), hex(bytesOf({1, 0})));
    std::optional<TValueReader> r = TValueReader::fromFile(path);
    ASSERT_TRUE(r.has_value());
    r->readListBegin();
    EXPECT_TRUE(r->endOfList());
    r->readListEnd();
    EXPECT_TRUE(r->ok());
}

} // namespace
