#include "platform/help.h"
#include "platform/prompt.h"
#include "platform/scriptedprompter.h"

#include <gtest/gtest.h>

namespace {

using mk::Answer;
using mk::Buttons;
using mk::MessageType;
using Kind = mk::ScriptedPrompter::Kind;

TEST(ScriptedPrompter, AnswersInOrderAndRecordsEveryCall)
{
    mk::ScriptedPrompter p;
    mk::ScopedPrompter use(p);
    p.pushAnswer(Answer::Yes);
    p.pushInput(QStringLiteral("YES"));
    p.pushInput(std::nullopt);
    p.pushFile(QStringLiteral("/tmp/export.txt"));
    p.pushDirectory(QStringLiteral("/tmp"));
    p.pushColour(QColor(Qt::red));

    EXPECT_TRUE(mk::confirm(QStringLiteral("Delete Selected User and his Data?")));
    EXPECT_EQ(mk::inputBox(QStringLiteral("Confirm User Deletion"), QStringLiteral("Type in YES:")),
              QStringLiteral("YES"));
    EXPECT_EQ(mk::inputBox(QStringLiteral("Add New Item"), QStringLiteral("New List Item:"), QStringLiteral("x")),
              std::nullopt);
    mk::FileRequest save;
    save.caption = QStringLiteral("Export");
    save.filters = QStringLiteral("*.txt");
    EXPECT_EQ(mk::saveFileDialog(save), QStringLiteral("/tmp/export.txt"));
    EXPECT_EQ(mk::chooseDirectory(QStringLiteral("Select"), QStringLiteral("/home"), 114), QStringLiteral("/tmp"));
    EXPECT_EQ(mk::chooseColour(QColor(Qt::blue)), QColor(Qt::red));
    mk::beep(mk::BeepKind::Information);

    EXPECT_FALSE(p.failed()) << p.failures().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(p.scriptDone());
    ASSERT_EQ(p.calls().size(), 7);
    const auto& m = p.calls().at(0);
    EXPECT_EQ(m.kind, Kind::Message);
    EXPECT_EQ(m.type, MessageType::Confirmation);
    EXPECT_EQ(m.buttons, Buttons::YesNo);
    EXPECT_EQ(m.answer, Answer::Yes);
    EXPECT_EQ(m.text, QStringLiteral("Delete Selected User and his Data?"));
    EXPECT_EQ(p.calls().at(1).caption, QStringLiteral("Confirm User Deletion"));
    EXPECT_EQ(p.calls().at(1).text, QStringLiteral("Type in YES:"));
    EXPECT_EQ(p.calls().at(2).preset, QStringLiteral("x"));
    EXPECT_EQ(p.calls().at(3).kind, Kind::SaveFile);
    EXPECT_EQ(p.calls().at(3).file.filters, QStringLiteral("*.txt"));
    EXPECT_EQ(p.calls().at(4).helpContext, 114);
    EXPECT_EQ(p.calls().at(4).preset, QStringLiteral("/home"));
    EXPECT_EQ(p.calls().at(6).kind, Kind::Beep);
    EXPECT_EQ(p.calls().at(6).beep, mk::BeepKind::Information);
    EXPECT_EQ(p.beepCount(), 1);
}

TEST(ScriptedPrompter, ConvenienceCallsChooseTypeButtonsAndHelp)
{
    mk::ScriptedPrompter p;
    mk::ScopedPrompter use(p);
    p.pushAnswer(Answer::Ok);
    p.pushAnswer(Answer::Ok);
    p.pushAnswer(Answer::Ok);
    p.pushAnswer(Answer::No);
    mk::showError(QStringLiteral("Invalid Date!"));
    mk::showWarning(QStringLiteral("Backup Failed!"), mk::HelpContext::RestoreFromBackup);
    mk::showInformation(QStringLiteral("Done."));
    EXPECT_FALSE(mk::confirm(QStringLiteral("Sure?"), MessageType::Warning, 130));
    ASSERT_FALSE(p.failed());
    const auto msgs = p.messages();
    ASSERT_EQ(msgs.size(), 4);
    EXPECT_EQ(msgs[0].type, MessageType::Error);
    EXPECT_EQ(msgs[0].buttons, Buttons::Ok);
    EXPECT_EQ(msgs[1].type, MessageType::Warning);
    EXPECT_EQ(msgs[1].buttons, Buttons::OkHelp);
    EXPECT_EQ(msgs[1].helpContext, 123);
    EXPECT_EQ(msgs[2].type, MessageType::Information);
    EXPECT_EQ(msgs[3].buttons, Buttons::YesNoHelp);
    EXPECT_EQ(msgs[3].helpContext, 130);
    EXPECT_TRUE(msgs[0].caption.isEmpty()); // the application title is applied when shown
    EXPECT_EQ(p.lastMessageText(), QStringLiteral("Sure?"));
}

TEST(ScriptedPrompter, HelpShowsTheContextAndTheBoxWaits)
{
    mk::ScriptedPrompter p;
    mk::ScopedPrompter use(p);
    int shown = 0;
    const mk::HelpHandler previous = mk::setHelpHandler([&](int context) { shown = context; });
    p.pushAnswer(Answer::Help);
    p.pushAnswer(Answer::Yes);
    const Answer a = mk::showMessage(MessageType::Warning, QStringLiteral("This function is very Dangerous!"),
                                     Buttons::YesNoHelp, mk::HelpContext::Replace);
    mk::setHelpHandler(previous);
    EXPECT_EQ(a, Answer::Yes);
    EXPECT_EQ(shown, 130);
    EXPECT_EQ(mk::lastHelpContext(), 130);
    ASSERT_EQ(p.calls().size(), 2);
    EXPECT_EQ(p.calls().at(0).kind, Kind::Help);
    EXPECT_EQ(p.calls().at(1).kind, Kind::Message);
    EXPECT_FALSE(p.failed());
}

TEST(ScriptedPrompter, DryOrWrongScriptIsAFailureWithSafeAnswers)
{
    mk::ScriptedPrompter p;
    mk::ScopedPrompter use(p);
    EXPECT_FALSE(mk::confirm(QStringLiteral("Retry?"))); // dry: No
    EXPECT_TRUE(p.failed());
    EXPECT_FALSE(p.calls().at(0).scripted);
    EXPECT_EQ(p.calls().at(0).answer, Answer::No);

    p.clear();
    p.pushInput(QStringLiteral("name"));
    // A message box comes first: the input stays for the input box.
    EXPECT_EQ(mk::showMessage(MessageType::Error, QStringLiteral("Oops"), Buttons::RetryCancel), Answer::Cancel);
    EXPECT_EQ(mk::inputBox(QStringLiteral("Save"), QStringLiteral("Name:")), QStringLiteral("name"));
    EXPECT_EQ(p.failures().size(), 1);

    p.clear();
    p.pushAnswer(Answer::Yes); // does not fit an OK box
    mk::showError(QStringLiteral("x"));
    EXPECT_TRUE(p.failed());
    EXPECT_EQ(p.pendingCount(), 1);
    EXPECT_EQ(mk::openFileDialog({}), std::nullopt);
    EXPECT_EQ(p.failures().size(), 2);
}

TEST(Prompter, DefaultIsHeadlessAndSafe)
{
    mk::Prompter* previous = mk::setPrompter(nullptr);
    EXPECT_EQ(mk::showMessage(MessageType::Confirmation, QStringLiteral("Sure?"), Buttons::YesNo), Answer::No);
    EXPECT_EQ(mk::showMessage(MessageType::Error, QStringLiteral("x")), Answer::Ok);
    EXPECT_EQ(mk::inputBox(QStringLiteral("a"), QStringLiteral("b")), std::nullopt);
    mk::setPrompter(previous);
}

TEST(Prompter, TextAndButtonHelpers)
{
    EXPECT_EQ(mk::displayText(QStringLiteral("Function Failed!\rDatabase may be used\r\nby someone else")),
              QStringLiteral("Function Failed!\nDatabase may be used\nby someone else"));
    EXPECT_EQ(mk::applicationTitle(), QStringLiteral("Marlocket"));
    EXPECT_TRUE(mk::isAnswerOf(Answer::Retry, Buttons::RetryCancel));
    EXPECT_FALSE(mk::isAnswerOf(Answer::Help, Buttons::YesNo));
    EXPECT_EQ(mk::escapeAnswer(Buttons::YesNoHelp), Answer::No);
    EXPECT_EQ(mk::escapeAnswer(Buttons::OkHelp), Answer::Ok);
}

} // namespace
