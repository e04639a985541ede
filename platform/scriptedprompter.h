#pragma once

// A prompter that answers from a script and records every call: for tests
// and headless runs.
//
//   mk::ScriptedPrompter p;
//   mk::ScopedPrompter use(p);
//   p.pushAnswer(mk::Answer::Yes);      // next message box answers Yes
//   p.pushInput(QStringLiteral("YES")); // next input box gets "YES"
//   p.pushInput(std::nullopt);          // ... or is cancelled
//   runTheCode();
//   EXPECT_FALSE(p.failed()) << p.failures().join('\n');
//   EXPECT_EQ(p.messages().at(0).text, "...");
//
// Answers are taken in order, one per dialog. pushAnswer(Answer::Help)
// presses Help on a box that has it: the help request is recorded (and
// passed to mk::showHelp) and the box waits for the next scripted answer.
// When the script runs dry, or its next entry does not fit the dialog (an
// input where a message box comes, Yes for an OK box), the call is recorded
// as unscripted, the safe answer is given (OK/No/Cancel, nothing chosen) and
// failed() becomes true with a description in failures().

#include "platform/prompt.h"

#include <QList>

#include <deque>

namespace mk {

class ScriptedPrompter : public Prompter
{
public:
    enum class Kind { Message, Beep, Input, OpenFile, SaveFile, Directory, Font, Colour, Help };

    struct Call
    {
        Kind kind = Kind::Message;
        MessageType type = MessageType::Information; // messages
        QString caption;                             // messages (as given, may be empty), input boxes, dialogs
        QString text;                                // message text, input prompt
        Buttons buttons = Buttons::Ok;
        int helpContext = 0;
        QString preset; // input box preset, start folder of a directory dialog
        BeepKind beep = BeepKind::Default;
        FileRequest file;
        Answer answer = Answer::None;  // the answer given to a message
        std::optional<QString> result; // the text, file or folder given back
        bool scripted = true;          // false: answered by default because the script did not fit
    };

    void pushAnswer(Answer answer);
    void pushInput(std::optional<QString> text);
    // For the next open or save dialog.
    void pushFile(std::optional<QString> path);
    void pushDirectory(std::optional<QString> path);
    void pushFont(std::optional<QFont> font);
    void pushColour(std::optional<QColor> colour);

    const QList<Call>& calls() const { return m_calls; }
    QList<Call> callsOf(Kind kind) const;
    QList<Call> messages() const { return callsOf(Kind::Message); }
    // The text of the last message box, or empty.
    QString lastMessageText() const;
    int beepCount() const;

    bool failed() const { return !m_failures.isEmpty(); }
    const QStringList& failures() const { return m_failures; }
    // True when every scripted entry has been used.
    bool scriptDone() const { return m_script.empty(); }
    int pendingCount() const { return int(m_script.size()); }
    // Forgets the calls, failures and the rest of the script.
    void clear();

    Answer message(const Message& message) override;
    void beep(BeepKind kind) override;
    std::optional<QString> inputBox(const QString& caption, const QString& prompt, const QString& preset) override;
    std::optional<QString> openFile(const FileRequest& request) override;
    std::optional<QString> saveFile(const FileRequest& request) override;
    std::optional<QString> chooseDirectory(const QString& caption, const QString& start, int helpContext) override;
    std::optional<QFont> chooseFont(const QFont& initial) override;
    std::optional<QColor> chooseColour(const QColor& initial) override;

private:
    enum class EntryKind { Answer, Input, File, Directory, Font, Colour };
    struct Entry
    {
        EntryKind kind;
        Answer answer = Answer::None;
        std::optional<QString> text;
        std::optional<QFont> font;
        std::optional<QColor> colour;
    };

    // The next entry when it has the wanted kind; otherwise records a failure.
    std::optional<Entry> take(EntryKind wanted, const QString& what);
    std::optional<QString> textDialog(Call call, EntryKind wanted, const QString& what);

    std::deque<Entry> m_script;
    QList<Call> m_calls;
    QStringList m_failures;
};

} // namespace mk
