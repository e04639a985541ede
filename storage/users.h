#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace mk {

// One user account of a multi-user system.
struct TUserRec
{
    qint16 number = 0; // 1 to 9999, unique
    QString name;      // at most 40 characters, unique
    QString userId;    // at most 10 characters, typed at login
    QString password;  // compared at login, case-sensitive
    QString directory; // "data" + number with four digits, under the data root
    quint8 status = 0; // 0 active, 1 not active
    quint8 access = 0; // 0 read and write, 1 read only, 2 none (public databases)

    static QString directoryFor(int number);
};

// The accounts of "users.lst", in file order.
class TUserList
{
public:
    int count() const { return int(m_items.size()); }
    TUserRec& at(int i) { return *m_items[size_t(i)]; }
    const TUserRec& at(int i) const { return *m_items[size_t(i)]; }
    void clear() { m_items.clear(); }
    void append(const TUserRec& rec) { m_items.push_back(std::make_unique<TUserRec>(rec)); }
    void removeAt(int i) { m_items.erase(m_items.begin() + i); }

    // Exact, case-sensitive; the position or -1.
    int findByName(const QString& name) const;
    int findByUserId(const QString& userId) const;

    // The smallest free account number from 1 up, or 0 when all are taken.
    // Numbers whose low byte is 0 are never given out: their first stored byte
    // would read as the end of the list.
    int nextFreeNumber() const;

    // False when an account of that name exists; otherwise appends a new
    // account with the next free number and its directory.
    bool AddUser(const QString& name, const QString& userId, quint8 status, quint8 access, const QString& password);

    // "users.lst": read from the data root, or from the program directory
    // when the data root has none. A stream error keeps what was read so far.
    void LoadUsers(const QString& dataRoot, const QString& programDir);
    bool SaveUsers(const QString& dataRoot) const;

    QByteArray toBytes() const;
    void readBytes(const QByteArray& bytes);

private:
    std::vector<std::unique_ptr<TUserRec>> m_items;
};

// Scrambles (or unscrambles: the operation is its own inverse) the stored
// account texts with `UsersKey`.
QByteArray scrambleUserText(QByteArray bytes);

// What the login decides from the machine options and the typed answers.
struct LoginSettings
{
    int passwordMode = 1;     // 0 password required, 1 not required
    int publicAccessMode = 0; // 0 as in accounts, 1 read and write, 2 read only, 3 none
    int userCount = 0;        // 0 one-user system, 1 multi-user system
    QString supervisorPassword;
    QString supervisorName = QStringLiteral("Supervisor");
    QString dataRoot;
    QString programDir;
    QString publicDirName = QStringLiteral("DATA");

    bool passwordsRequired() const { return passwordMode == 0; }
    // No dialog at all: passwords off (or no supervisor password) on a one-user system.
    bool loginSkipped() const { return (!passwordsRequired() || supervisorPassword.isEmpty()) && userCount == 0; }
};

enum class LoginResult { Ok, Cancel, NotActive };

struct LoginState
{
    bool isSupervisor = false;
    QString userName; // the account's user ID; empty for the supervisor
    QString dataDir;
    qint16 accessLevel = 1;
};

// The OK rules of the login dialog: the result and the login state it sets.
LoginResult EvaluateLogin(const QString& userId, const QString& password, const LoginSettings& settings,
                          LoginState& state);

// The login state of a run that needs no dialog: the supervisor in the public data directory.
LoginState SupervisorLogin(const LoginSettings& settings);

} // namespace mk
