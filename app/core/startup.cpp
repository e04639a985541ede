#include "app/core/startup.h"

#include "app/core/directories.h"
#include "app/core/globals.h"
#include "platform/files.h"
#include "platform/prompt.h"

#include <QDir>
#include <QFileInfo>

#include <sys/resource.h>

namespace mk {

namespace {

// Tables, memo and index files of several databases stay open at once.
void askForFileHandles()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 100 && limit.rlim_max >= 100) {
        limit.rlim_cur = 100;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

LoginSettings currentLoginSettings(const GlobalState& g)
{
    LoginSettings s;
    s.passwordMode = g.MachineOptions.PasswordMode;
    s.publicAccessMode = g.MachineOptions.PublicAccessMode;
    s.userCount = g.MachineOptions.UserCount;
    s.supervisorPassword = g.MachineOptions.SupervisorPassword;
    s.supervisorName = g.SupervisorName;
    s.dataRoot = g.DataRoot;
    s.programDir = g.ProgramDir;
    s.publicDirName = g.PublicDirName;
    return s;
}

StartupResult RunStartup(GlobalState& g, StartupUi& ui, const QString& executablePath)
{
    // 1-4: directories, file handles, product constants (set in GlobalState).
    g.ProgramDir = programDirFor(executablePath);
    g.DataRoot = g.ProgramDir;
    QDir::setCurrent(g.ProgramDir);
    askForFileHandles();
    g.WebFeatures = false;
    g.MinRightPageWidth = g.WebFeatures ? 280 : 230;
    g.UserOptions.ShowTrayIcon = false;

    // 5: the splash.
    ui.showSplash();

    // 6: machine options, with the data root's copy winning where there is one.
    g.MachineOptions = TMachineOptions::defaults(g.ProgramDir);
    g.MachineOptionsFound = ReadMachineOptions(g.ProgramDir, g.MachineOptions);
    g.DataRoot = g.MachineOptions.DataRoot.isEmpty() ? g.ProgramDir : nativePath(g.MachineOptions.DataRoot);
    if (!QFileInfo(g.DataRoot).isDir())
        g.DataRoot = g.ProgramDir;
    // A program folder that cannot be written (a system-wide installation)
    // keeps its data in the user's own data folder instead.
    if (relocateUnwritableDataRoot(g)) {
        g.MachineOptions.DataRoot = g.DataRoot;
        TMachineOptions copy = g.MachineOptions;
        if (ReadMachineOptions(g.DataRoot, copy)) {
            copy.DataRoot = g.DataRoot;
            g.MachineOptions = copy;
            g.MachineOptionsFound = true;
        }
    }
    QDir::setCurrent(g.DataRoot);
    QDir::setCurrent(g.ProgramDir);

    // 7-8: the public data directory.
    g.DataDir = g.publicDataDir();
    EnsureDataDirs(g);

    // 9: the login gate; there is none on a first run.
    if (g.MachineOptionsFound) {
        const LoginSettings settings = currentLoginSettings(g);
        LoginState state = SupervisorLogin(settings);
        LoginResult result = LoginResult::Ok;
        if (!settings.loginSkipped())
            result = ui.runLogin(settings, state);
        if (result != LoginResult::Ok) {
            ui.closeSplash();
            const QString text = result == LoginResult::NotActive
                                         ? QStringLiteral("Your acount has been disactivated! Please, contact the "
                                                          "System Supervisor.")
                                         : QStringLiteral("Incorrect Login!");
            showError(text);
            return result == LoginResult::NotActive ? StartupResult::AccountDisabled : StartupResult::LoginFailed;
        }
        g.IsSupervisor = state.isSupervisor;
        g.UserName = state.userName;
        g.DataDir = state.dataDir;
        g.AccessLevel = state.accessLevel;
    } else {
        g.IsSupervisor = false;
        g.AccessLevel = 1;
    }

    // 10: user options and the last used database.
    g.SettingsDir = g.DataDir;
    g.UserOptions.LastDataDir = g.DataDir;
    ReadUserOptions(g.SettingsDir, g.UserOptions);
    const TLastDatabase last = LastUsedDatabase(g.UserOptions, g.DataRoot, g.IsSupervisor, g.AccessLevel,
                                                g.IsPublicDataDir(g.UserOptions.LastDataDir));
    if (last.reopen) {
        g.TableFileName = last.tableFileName;
        if (last.takeDataDir)
            g.DataDir = nativePath(last.dataDir);
    }

    // 11-12 (the template lists and report definitions join here as they arrive).
    LoadFieldLabels(g.SettingsDir, g.FieldLabels);
    LoadDateFormats(g.SettingsDir, g.DateFormats);
    // 14: reminder dates.
    g.ReminderDates = ReadReminderDates(g.SettingsDir);
    return StartupResult::Running;
}

void WriteReminders(const GlobalState& g)
{
    WriteReminderDates(g.SettingsDir, g.ReminderDates);
}

void MarkShutdownComplete(const GlobalState& g)
{
    MarkClosed(g.SettingsDir);
}

void WriteShutdownSettings(const GlobalState& g)
{
    TMachineOptions machine = g.MachineOptions;
    machine.DataRoot = g.DataRoot;
    WriteMachineOptions(g.ProgramDir, machine);
    TUserOptions user = g.UserOptions;
    user.LastTableFileName = g.TableFileName;
    user.LastDataDir = g.DataDir;
    WriteUserOptions(g.SettingsDir, user);
}

} // namespace mk
