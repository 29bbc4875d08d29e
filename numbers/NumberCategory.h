#pragma once

#include <QString>

#include <atomic>

// The three number lists of the terminal. A category index is the position
// in the number dialogs' category choice and the index of the list's tab page.
class NumberCategory {
public:
    static constexpr int kAdministrator = 0;
    static constexpr int kAuthorised = 1;
    static constexpr int kBackup = 2;
    static constexpr int kCount = 3;

    static bool IsValid(int category) { return category >= 0 && category < kCount; }
    // "管理号码", "授权号码", "备份号码"; empty for anything else.
    static QString Name(int category);

    // The category the number dialogs preselect. The main window records the
    // tab page shown just before it opens one of them. -1 selects nothing.
    static void SetDefault(int category);
    static int Default();

private:
    static std::atomic<int> s_default;
};
