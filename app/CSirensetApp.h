#pragma once

#include <QApplication>

class CSirensetDlg;
struct CommandLine;
struct MainWindowOptions;

// The application object: runs the main window.
class CSirensetApp : public QApplication {
    Q_OBJECT
public:
    CSirensetApp(int& argc, char** argv);

    // Names, language and message-box caption of the program; run on the
    // application object before any window opens.
    static void Configure(QApplication& app);

    // Runs the window as the command line asks; returns the exit status.
    int Run(const CommandLine& command);

    // What the window is opened with: the command line, and for what it
    // leaves out what the user chose last (the record's location, the
    // project profile), kept in the user's settings.
    static MainWindowOptions WindowOptions(const CommandLine& command);

private:
    // With --quit-after and SIRENSET_SCREENSHOT=FILE.png, the window is
    // saved to that file just before it quits.
    static void SaveScreenshot(CSirensetDlg& dialog);
};
