#pragma once

#include "params/ParameterSet.h"
#include "params/SavePlan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// A configuration file opened for editing without a terminal: the file's
// bytes, the values they parse to, and edits made by label with the same
// checks a save of the parameter table makes. An edit rewrites only the
// value of its own line, so the file keeps every line it had, in its order,
// with its label, padding and line ends; a file opened and written back
// without an edit is the same byte for byte.
//
// Anything that holds a report can be opened: a .cfg file, or the report
// bytes of a stored snapshot, each under a name to show.
class CConfigDocument {
public:
    CConfigDocument();
    ~CConfigDocument();
    CConfigDocument(const CConfigDocument& other);
    CConfigDocument& operator=(const CConfigDocument& other);

    // Takes the bytes as they stand in the file (CR CR LF or CR LF line
    // ends). Refused, with the reason, when they do not parse as a report or
    // a number of a list would be lost; the document then stays as it was.
    std::optional<QString> Open(const QByteArray& fileBytes, const QString& displayName);
    // Reads the file at `path`; its name is the display name.
    std::optional<QString> OpenFile(const QString& path);

    bool IsOpen() const { return m_open; }
    const QString& DisplayName() const { return m_displayName; }
    void SetDisplayName(const QString& name) { m_displayName = name; }

    // What the file's values are, as the parser reads them.
    const ParameterSet& Parameters() const { return *m_set; }
    // The text the parameter table shows for an item.
    QString CellText(const SaveItem& item) const;

    // Changes one value, as if `value` were typed into the item's cell.
    // Refused (document unchanged) with the message the save would show,
    // or when the table's editor would not offer the value, or the value
    // cannot be written into the file so that it reads back the same.
    std::optional<QString> SetValue(const SaveItem& item, const QString& value);
    // The same by label: the table's label or the report line's label; a
    // number list's name ("管理号码", "授权号码", "备份号码") takes the whole
    // list, its numbers separated by commas.
    std::optional<QString> SetValue(const QString& label, const QString& value);
    // What the table (or number page) shows for such a label; nothing for
    // an unknown label.
    std::optional<QString> DisplayedValue(const QString& label) const;
    // The category a number list's name stands for (0 to 2).
    static std::optional<int> NumberListCategory(const QString& name);
    // The label of the report line that keeps an item ("Access Point Name:").
    static std::optional<QByteArray> ReportLabelOf(const SaveItem& item);

    // The numbers of one list (0 administrator, 1 authorised, 2 backup).
    QStringList Numbers(int category) const;
    // Replaces a whole list; the checks of the number pages apply (digits,
    // 32 characters, no number twice, 255 at most).
    std::optional<QString> SetNumbers(int category, const QStringList& numbers);

    // The file's bytes now: the opened bytes with the edits made.
    const QByteArray& FileBytes() const { return m_bytes; }
    // Edits made since the file was opened or last marked saved.
    bool IsModified() const { return m_bytes != m_savedBytes; }
    void MarkSaved() { m_savedBytes = m_bytes; }
    // Writes FileBytes() to `path`; the reason when that fails.
    std::optional<QString> SaveFile(const QString& path);

private:
    // Rewrites the bytes and re-reads them; false (nothing changed) when
    // the new bytes do not parse to `expected`'s table values and lists.
    bool Commit(const QByteArray& bytes, const ParameterSet& expected, const SaveItem* edited,
                const ItemValue* editedValue);

    bool m_open = false;
    QString m_displayName;
    QByteArray m_bytes;
    QByteArray m_savedBytes;
    std::unique_ptr<ParameterSet> m_set;
};
