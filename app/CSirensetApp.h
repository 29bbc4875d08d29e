#pragma once

#include <QApplication>

// The application object: reads the command line and runs the main window.
class CSirensetApp : public QApplication {
    Q_OBJECT
public:
    CSirensetApp(int& argc, char** argv);

    // Runs the program; returns the process exit status.
    int Run();
};
