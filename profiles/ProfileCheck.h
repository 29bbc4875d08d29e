#pragma once

#include "profiles/ProjectProfile.h"

#include "params/ParameterSet.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <utility>
#include <vector>

// What a check of one terminal (or one configuration file) looks at.
struct TerminalFacts {
    const ParameterSet* set = nullptr;
    // The entry's ati / AT+CGMR reply, as received or as the record keeps
    // it; "" when the terminal gave none. Nothing when it cannot be known
    // (a configuration file): the module rules are then not checked.
    std::optional<QString> module;
    // This terminal's own values of per-unit items (a row of --units): a
    // per-unit rule then wants exactly that value.
    std::map<const SaveItem*, QString> unitValues;
};

// One rule a terminal does not meet.
struct Deviation {
    int rule = 0;            // the rule's index in the profile, from 0
    QString subject;         // "GPRS主中心地址", "管理号码", "模块版本"
    QString value;           // on the terminal, as the table (or number page) shows it
    QString wanted;          // what the rule wants, readable: "“10.0.0.6”", "60 到 300 之间"
    bool pending = false;    // before the rule's `since`: 待整改, does not count
    std::optional<QDate> since;

    // "GPRS主中心地址：设备“203.0.113.10”，规范要求“10.0.0.6”", with
    // "（待整改，2027-03-01起计入）" after a pending one.
    QString Text() const;
};

// The outcome of one check, as the record keeps it: which profile (name,
// version, digest of its text), on which day, and every deviation.
struct ProfileCheckResult {
    QString profileName;
    QString profileVersion;
    QString profileDigest;
    QDate day;
    std::vector<Deviation> deviations;
    // Rules that could not be checked (a module rule on a file).
    std::vector<int> uncheckedRules;

    // The deviations that count against the terminal (not 待整改).
    int CountingDeviations() const;
    bool Conforms() const { return CountingDeviations() == 0; }
    // "符合规范 «NAME vVERSION»" or "不符合规范 «NAME vVERSION»: N 项",
    // then one line per deviation.
    QStringList LogLines() const;
};

// Checks one terminal against every rule of the profile on `today`.
ProfileCheckResult CheckAgainstProfile(const ProjectProfile& profile, const TerminalFacts& facts, const QDate& today);

// The reply's text as a module rule compares it: its lines, trimmed,
// without blank lines and the closing "OK", joined by one blank.
QString ModuleVersionText(const QString& reply);

// The numbers of one of the terminal's lists (0 administrator, 1 authorised,
// 2 backup), empty places left out.
QStringList ListNumbers(const ParameterSet& set, int category);

// "Different on every terminal" is a question of the whole fleet: the
// values of a per-unit item that more than one terminal holds. Empty
// values are not counted (each is a deviation of its own terminal).
struct UnitValue {
    QString terminal;  // the device ID or however the caller names it
    QString value;     // as the table shows it
};
struct DuplicateValue {
    int rule = 0;
    QString subject;
    QString value;
    QStringList terminals;  // in the order given
};
// This terminal's value of each per-unit rule's item, as the table shows
// it, in the rules' order: what FindDuplicateValues compares.
QStringList PerUnitValues(const ProjectProfile& profile, const ParameterSet& set);
std::vector<DuplicateValue> FindDuplicateValues(const ProfileRule& rule, const std::vector<UnitValue>& values);
// Every per-unit rule of the profile over many terminals' parameter sets.
std::vector<DuplicateValue> FindPerUnitDuplicates(const ProjectProfile& profile,
                                                  const std::vector<std::pair<QString, const ParameterSet*>>& terminals);
// "设备ID号码(固定8位)：“1A2B3C4D”在 2 台设备上重复：A、B"
QString DuplicateValueText(const DuplicateValue& duplicate);
