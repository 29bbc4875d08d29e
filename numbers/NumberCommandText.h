#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

class NumberList;

// The terminal's number-list commands as bytes ready to send. Numbers are
// joined by "," without blanks and every command ends with one "\r".
// Categories are those of NumberCategory (0 administrator, 1 authorised,
// 2 backup); any other category gives an empty text.
namespace NumberCommandText {

// "AT+LRMADDADMINNO=", "AT+LRMADDLRMNO=", "AT+LRMADDBKNO=".
QByteArray AddPrefix(int category);
// "AT+LRMDELADMINNO=", "AT+LRMDELLRMNO=", "AT+LRMDELBKNO=".
QByteArray DeletePrefix(int category);
// "AT+LRMSETADMINNO=", "AT+LRMSETLRMNO=", "AT+LRMSETBKNO=".
QByteArray SetPrefix(int category);

// The add prefix, the numbers as entered ("12,345") and "\r".
QByteArray AddCommand(int category, const QByteArray& numberText);
// Empties a whole list: "AT+LRMSETADMINNO=\r" and so on.
QByteArray ResetCommand(int category);
// The delete prefix, the numbers joined by "," and "\r"; empty without numbers.
QByteArray DeleteCommand(int category, const QList<QByteArray>& numbers);
// The set command with every non-empty slot of a list in slot order; an
// empty list gives the reset command. Used to write a whole configuration.
QByteArray WholeListCommand(int category, const NumberList& list);
// The power-on test of the vehicle station / FM transmitter.
QByteArray PowerOnTestCommand();

// The numbers of an add command: those followed by a comma, in order, and
// the last one, from after the last comma to the final "\r".
struct AddedNumbers {
    QList<QByteArray> followedByComma;
    QByteArray last;
};
// Nothing when the command does not start with the category's add prefix.
std::optional<AddedNumbers> SplitAddCommand(int category, const QByteArray& command);

}  // namespace NumberCommandText
