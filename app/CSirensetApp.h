#pragma once

#include <QApplication>

struct CommandLine;

// The application object: runs the main window.
class CSirensetApp : public QApplication {
    Q_OBJECT
public:
    CSirensetApp(int& argc, char** argv);

    // Runs the window as the command line asks; returns the exit status.
    int Run(const CommandLine& command);
};
