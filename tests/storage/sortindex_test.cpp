// Sort keys, their tags on a real record table, letter ranges and counts,
// the sort settings file and the fallback when the table is in use.

#include "tests/storage/storagefixture.h"

#include "platform/files.h"

using namespace mk;
using namespace mk::test;

namespace {

struct KeyCase
{
    TSortState state;
    const char* expression;
    quint8 options;
};

class SortIndexTest : public StorageFixture
{
protected:
    void open()
    {
        ASSERT_TRUE(storage->OpenDatabase());
        prompter.clear();
    }
    // The names of the view in order.
    QStringList names()
    {
        QStringList out;
        TDbTable& t = storage->recordTable();
        for (t.first(); !t.eof(); t.next())
            out << t.asString(F_NAME);
        return out;
    }
    dbase::TagInfo currentTag()
    {
        for (const auto& tag : storage->recordTable().tags())
            if (QString::fromStdString(tag.name) == storage->recordTable().indexName())
                return tag;
        return {};
    }
};

} // namespace

TEST_F(SortIndexTest, ExpressionsAndOptionsOfTheSortChoices)
{
    open();
    const std::vector<dbase::FieldDescriptor> fields = storage->recordTable().engine().fields();
    const quint8 E = TIndex::OptExpression, D = TIndex::OptDescending;
    const KeyCase cases[] = {
            {{F_STYLE, 0, 0, 0}, "UPPER(STYLE)", E},
            {{F_STYLE, 1, F_STYLE, 0}, "UPPER(STYLE)", quint8(E | D)},
            {{F_CUSTOM4, 0, 0, 0}, "UPPER(SUBSTR(CUSTOM4, 1, 99))", E},
            {{F_BOTTLES, 0, 0, 0}, "STR(BOTTLES, 20, 4)", E},
            {{F_BOTTLES, 1, 0, 0}, "STR(999999999999999999-BOTTLES, 20, 4)", E},
            {{F_CUSTOM3, 0, 0, 0}, "DTOS(CUSTOM3)", E},
            {{F_CUSTOM3, 1, 0, 0}, "STR({12/31/3099}-CUSTOM3, 10, 0)", E},
            {{F_NOTES, 1, 0, 0}, "UPPER(MLINE(NOTES, 1))", quint8(E | D)},
            {{F_STYLE, 1, F_BOTTLES, 0}, "STYLE+STR(999999999999999999-BOTTLES, 20, 4)", quint8(E | D)},
            {{F_BOTTLES, 1, F_NAME, 0}, "STR(999999999999999999-BOTTLES, 20, 4)+NAME", E},
            {{F_BOTTLES, 0, F_NAME, 1}, "STR(999999999999999999-BOTTLES, 20, 4)+NAME", quint8(E | D)},
            {{F_SHORTNOTE, 1, F_CUSTOM2, 0},
             "UPPER(SUBSTR(SHORTNOTE, 1, 59))+UPPER(SUBSTR(CUSTOM2, 1, 40))",
             quint8(E | D)},
            {{F_SHORTNOTE, 0, F_CUSTOM2, 1}, "UPPER(SUBSTR(SHORTNOTE, 1, 59))+UPPER(SUBSTR(CUSTOM2, 1, 40))", E},
            {{F_COST, 0, F_CUSTOM1, 1}, "STR(COST, 20, 4)+STR(999999999999999999-CUSTOM1, 20, 4)", E},
            {{F_NOTES, 0, F_NAME, 0}, "UPPER(SUBSTR(MLINE(NOTES, 1), 1, 59))+NAME", E},
            // A date part counts its real width against the key budget.
            {{F_CUSTOM3, 0, F_CUSTOM4, 0}, "DTOS(CUSTOM3)+UPPER(SUBSTR(CUSTOM4, 1, 91))", E},
            {{F_CUSTOM3, 1, F_CUSTOM4, 0}, "STR({12/31/3099}-CUSTOM3, 10, 0)+UPPER(SUBSTR(CUSTOM4, 1, 89))", E},
            // A secondary that cannot be sorted on counts as none.
            {{F_NAME, 0, F_PICTURE, 0}, "UPPER(NAME)", E},
            {{0, 0, 0, 0}, "", 0},
            {{F_PICTURE, 0, 0, 0}, "", 0},
    };
    for (const KeyCase& c : cases) {
        index.requested = c.state;
        index.BuildExpression(fields);
        EXPECT_EQ(index.keyExpression, c.expression) << int(c.state[0]) << "," << int(c.state[2]);
        EXPECT_EQ(index.options, c.options) << c.expression;
        EXPECT_EQ(index.filteredOptions, c.options);
        EXPECT_EQ(index.filteredKeyExpression, *c.expression ? QString("SEL+") + c.expression : QString());
    }
    EXPECT_EQ(index.TagName(7), "IDX7");
    index.filtered = true;
    EXPECT_EQ(index.TagName(7), "IDXF7");
}

TEST_F(SortIndexTest, TagsAreFoundOrAddedAndReused)
{
    open();
    addRecords({"b", "C", "a"});
    TDbTable& t = storage->recordTable();
    const size_t templateTags = t.tags().size();
    int notified = 0;
    storage->indexChanged = [&] { ++notified; };

    index.requested = {F_NAME, 0, 0, 0};
    ASSERT_TRUE(storage->ApplySortIndex());
    EXPECT_EQ(t.indexName(), QString("IDX%1").arg(templateTags));
    EXPECT_EQ(currentTag().expression, "UPPER(NAME)");
    EXPECT_FALSE(currentTag().descending);
    EXPECT_EQ(names(), QStringList({"a", "b", "C"}));
    EXPECT_EQ(notified, 1);
    EXPECT_TRUE(t.active());
    EXPECT_FALSE(t.exclusive());

    index.requested = {F_NAME, 1, 0, 0};
    ASSERT_TRUE(storage->ApplySortIndex());
    EXPECT_EQ(names(), QStringList({"C", "b", "a"}));
    EXPECT_TRUE(currentTag().descending);
    const size_t afterTwo = t.tags().size();

    index.requested = {F_NAME, 0, 0, 0};
    ASSERT_TRUE(storage->ApplySortIndex());
    EXPECT_EQ(t.indexName(), QString("IDX%1").arg(templateTags)) << "the existing tag is reused";
    EXPECT_EQ(t.tags().size(), afterTwo);

    // The same order under a filter has a tag of its own, led by the marker.
    filter = FilterState::Normal;
    ASSERT_TRUE(storage->ApplyFilterIndex(filter));
    EXPECT_TRUE(t.indexName().startsWith("IDXF"));
    EXPECT_EQ(currentTag().expression, "SEL+UPPER(NAME)");
    EXPECT_EQ(t.tags().size(), afterTwo + 1);

    // The long two-field key with a date primary is accepted by the engine.
    filter = FilterState::Off;
    index.filtered = false;
    index.requested = {F_CUSTOM3, 1, F_CUSTOM4, 0};
    ASSERT_TRUE(storage->ApplySortIndex());
    EXPECT_EQ(t.recordCount(), 3);
    EXPECT_EQ(notified, 5);
    EXPECT_TRUE(prompter.messages().isEmpty());
}

TEST_F(SortIndexTest, LetterRangesAndCounts)
{
    open();
    addRecords({"Apple", "7 Hills", "banana", "Bordeaux", "~tilde", "Zweigelt", "  blank", "", "Mosel"});
    TDbTable& t = storage->recordTable();
    // One record that fails the filter.
    t.first();
    t.edit();
    t.setString(F_SEL, "0");
    t.post();
    EXPECT_TRUE(storage->textFields.test(F_NAME));
    EXPECT_TRUE(storage->memoFields.test(F_NOTES));
    EXPECT_TRUE(storage->binaryFields.test(F_PICTURE));
    EXPECT_FALSE(storage->textFields.test(F_SEL));

    for (int desc = 0; desc < 2; ++desc) {
        SCOPED_TRACE(desc);
        index.requested = {F_NAME, quint8(desc), 0, 0};
        ASSERT_TRUE(storage->ApplySortIndex());
        storage->RecountLetters();
        EXPECT_EQ(storage->letterCount('A'), 4) << "digits, blanks and empty texts go under A";
        EXPECT_EQ(storage->letterCount('B'), 2);
        EXPECT_EQ(storage->letterCount('M'), 1);
        EXPECT_EQ(storage->letterCount('Z'), 1 + 1) << "~ goes under Z";
        EXPECT_EQ(storage->letterCount('C'), 0);
        // The table is left on letter A.
        EXPECT_EQ(t.recordCount(), 4);
        ASSERT_TRUE(storage->SetLetterRange(t, 'Z'));
        QStringList z = names();
        EXPECT_EQ(z, desc ? QStringList({"~tilde", "Zweigelt"}) : QStringList({"Zweigelt", "~tilde"}));
        ASSERT_TRUE(storage->SetLetterRange(t, 'B'));
        EXPECT_EQ(names(), desc ? QStringList({"Bordeaux", "banana"}) : QStringList({"banana", "Bordeaux"}));
    }

    // Under a normal filter only marked records count; reversed, only the others.
    index.requested = {F_NAME, 0, 0, 0};
    filter = FilterState::Normal;
    ASSERT_TRUE(storage->ApplyFilterIndex(filter));
    storage->RecountLetters();
    EXPECT_EQ(storage->letterCount('A'), 3);
    filter = FilterState::Reversed;
    storage->RecountLetters();
    EXPECT_EQ(storage->letterCount('A'), 1);
    EXPECT_EQ(storage->letterCount('B'), 0);

    // Without letter tabs the range keeps the filter alone.
    EXPECT_FALSE(storage->SetLetterRange(t, 'A', false));
    EXPECT_EQ(names(), QStringList({"Apple"}));
    filter = FilterState::Normal;
    EXPECT_FALSE(storage->SetLetterRange(t, 'A', false));
    EXPECT_EQ(t.recordCount(), 8);
    letterTabs = false;
    storage->letterCounts.fill(-1);
    storage->RecountLetters();
    EXPECT_EQ(storage->letterCount('A'), -1) << "counts are kept only while letter tabs apply";

    struct Panel : LetterPanel
    {
        QString refreshed;
        void refreshLetter(char l) override { refreshed += QChar(l); }
    } panel;
    letterTabs = true;
    storage->letterCounts.fill(0);
    storage->MoveLetterCount('A', 'Q', &panel);
    storage->AdjustLetterCount('[', true, &panel);
    EXPECT_EQ(storage->letterCount('A'), -1);
    EXPECT_EQ(storage->letterCount('Q'), 1);
    EXPECT_EQ(panel.refreshed, "AQ");
    storage->SetLetterRange(t, 'B');
    storage->RecountLetter(&panel, 'B');
    EXPECT_EQ(storage->letterCount('B'), 2);
}

TEST_F(SortIndexTest, SortSettingsFile)
{
    open();
    addRecords({"x", "y"});
    TDbTable& t = storage->recordTable();
    t.first();
    t.edit();
    t.setString(F_VARIETAL, "Merlot");
    t.post();
    t.next();
    t.edit();
    t.setString(F_VARIETAL, "Syrah");
    t.post();
    const QString path = TIndex::SettingsPath(data.path(), "data.dbf");
    EXPECT_EQ(QFileInfo(path).fileName(), "data.idx");

    ASSERT_TRUE(data.write("data.idx", QByteArray("\x05\x01\x00\x00", 4)));
    restart();
    ASSERT_TRUE(storage->OpenDatabase());
    EXPECT_EQ(index.requested, (TSortState{5, 1, 0, 0}));
    EXPECT_EQ(index.applied, (TSortState{0, 0, 0, 0}));
    EXPECT_EQ(index.keyExpression, "UPPER(VARIETAL)");
    EXPECT_EQ(currentTag().expression, "UPPER(VARIETAL)");
    EXPECT_TRUE(currentTag().descending);
    storage->recordTable().first();
    EXPECT_EQ(storage->recordTable().asString(F_VARIETAL), "Syrah");

    index.requested = {F_COST, 0, F_NAME, 1};
    ASSERT_TRUE(index.SaveSettings(path));
    EXPECT_EQ(data.read("data.idx"), QByteArray("\x08\x00\x02\x01", 4));
    EXPECT_FALSE(index.SaveSettings(data.file("no/such/dir/data.idx")));

    // Missing or short files give the entry order.
    ASSERT_TRUE(data.write("data.idx", QByteArray("\x05", 1)));
    index.LoadSettings(path);
    EXPECT_EQ(index.requested, (TSortState{0, 0, 0, 0}));
    index.requested = {1, 1, 1, 1};
    index.LoadSettings(data.file("missing.idx"));
    EXPECT_EQ(index.requested, (TSortState{0, 0, 0, 0}));
}

TEST_F(SortIndexTest, TableInUseKeepsThePreviousOrder)
{
    open();
    addRecords({"b", "a"});
    TDbTable& t = storage->recordTable();
    index.requested = {F_NAME, 0, 0, 0};
    ASSERT_TRUE(storage->ApplySortIndex());
    const QString before = t.indexName();
    const size_t tags = t.tags().size();

    TableHolder holder(findFileNoCase(data.path(), "data.dbf"), false);
    ASSERT_TRUE(holder.holding());
    index.Snapshot();
    index.requested = {F_STYLE, 1, 0, 0};
    bool filterSwitchedOff = false;
    EXPECT_FALSE(storage->CommitSortChange([&] { filterSwitchedOff = true; }));
    EXPECT_TRUE(filterSwitchedOff);
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages().at(0).type, MessageType::Error);
    EXPECT_EQ(prompter.messages().at(0).text, "Unable to create Index!\rDatabase may be used by someone else - this "
                                              "function requires Exclusive Database Use.");
    EXPECT_EQ(t.indexName(), before);
    EXPECT_TRUE(t.active());
    EXPECT_FALSE(t.exclusive());
    EXPECT_EQ(names(), QStringList({"a", "b"}));
    EXPECT_EQ(index.requested, (TSortState{F_NAME, 0, 0, 0}));
    EXPECT_EQ(t.tags().size(), tags);

    // A filter change that cannot get its tag keeps the flag as it was.
    prompter.clear();
    EXPECT_FALSE(storage->ApplyFilterIndex(FilterState::Normal));
    EXPECT_FALSE(index.filtered);
    EXPECT_EQ(prompter.messages().size(), 1);

    // Quiet while a database is being opened.
    prompter.clear();
    storage->quietIndex = true;
    index.requested = {F_STYLE, 1, 0, 0};
    EXPECT_FALSE(storage->ApplySortIndex());
    EXPECT_TRUE(prompter.messages().isEmpty());
    EXPECT_EQ(t.indexName(), before);
    // An order whose tag exists needs no exclusive use.
    index.requested = {F_NAME, 0, 0, 0};
    EXPECT_TRUE(storage->ApplySortIndex());
}
