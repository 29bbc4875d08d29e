#pragma once

#include <QPointer>
#include <QString>
#include <QTabWidget>

#include <array>

// A tab control that hosts up to 16 pages, one shown at a time under the row
// of tabs. Pages are added first and put on the tabs by Show(). The page
// shown always follows the selected tab, whether the tab was chosen with the
// mouse or the keyboard (arrow keys on the tabs, Ctrl+Tab, Ctrl+PageDown).
//
// The sheet does not own its pages: while shown they sit inside it, and when
// the sheet goes away it hands every page still alive back without a parent,
// so the owner deletes them (members, unique_ptr...).
class CTabSheet : public QTabWidget {
    Q_OBJECT
public:
    static constexpr int kMaxPages = 16;

    explicit CTabSheet(QWidget* parent = nullptr);
    ~CTabSheet() override;

    // Stores a page for the next Show(). False (and nothing stored) once
    // kMaxPages pages are added, or for a null page.
    bool AddPage(const QString& title, QWidget* page, int templateId);
    // Puts one tab per added page, in the order added, and shows page 0.
    // Calling it again rebuilds the tabs instead of adding them twice.
    void Show();

    int PageCount() const { return m_nPages; }
    // Index of the page shown (0 before Show()).
    int CurrentPage() const { return m_nCurrent; }
    QWidget* Page(int index) const;
    int TemplateId(int index) const;

private:
    void OnCurrentChanged(int index);

    std::array<QString, kMaxPages> m_titles;
    std::array<int, kMaxPages> m_templateIds{};
    std::array<QPointer<QWidget>, kMaxPages> m_pages;
    int m_nPages = 0;
    int m_nCurrent = 0;
};
