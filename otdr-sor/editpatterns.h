#pragma once

#include <QString>

namespace Sor {
struct Trace;
}

// The fields that the texts and the --rename of otdr-sor edit may name, for one file:
// {n} (its place in the list, from 1; {n:03} with three digits), {name} (the file's name
// without its extension), {wavelength}, {cable} and {fiber}.
struct PatternFields
{
    int n = 0;
    QString name;
    QString wavelength;
    QString cable;
    QString fiber;
};

// The fields of the `n`th file, at `path`, as its trace holds them.
PatternFields patternFields(const Sor::Trace &trace, const QString &path, int n);

// A pattern with its fields filled in; false, with the error in `error`, for a field that is
// unknown, one that is not known for this file, or a width given to another field than {n}.
bool fillPattern(const QString &pattern,
                 const PatternFields &fields,
                 QString &result,
                 QString &error);
