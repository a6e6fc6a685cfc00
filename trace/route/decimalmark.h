#pragma once

#include <QString>

#include <optional>

// How a route file writes a number: a comma or a point as its decimal mark, the other one
// grouping thousands ("1.234,5").
namespace Route {

enum class Mark { Unknown, Comma, Point };

// "vírgula decimal", "ponto decimal".
QString markText(Mark mark);

// How one field writes its number: no mark (an integer), one mark that can only be decimal, one
// that might group thousands ("1,500": 1,5 or 1500, decided by the rest of the file), or both
// (the last one decimal: "1.234,5").
struct Written
{
    Mark decimal = Mark::Unknown;
    bool grouping = false; // "1,500", "1.500"
};
Written writtenAs(const QString &text);

// A number with its decimal mark (the other one grouping thousands); none for an empty field,
// `ok` false for one that is no number.
std::optional<double> number(const QString &text, Mark mark, bool &ok);

} // namespace Route
