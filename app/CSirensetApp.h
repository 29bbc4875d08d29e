#pragma once

#include <QApplication>

class CSirensetDlg;
struct CommandLine;

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

private:
    // With --quit-after and SIRENSET_SCREENSHOT=FILE.png, the window is
    // saved to that file just before it quits.
    static void SaveScreenshot(CSirensetDlg& dialog);
};
