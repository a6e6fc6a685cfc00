#pragma once

#include "archive/archive.h"

#include <QByteArray>

namespace Archive {

// A trace as the archive stores it: its record, and what is kept only to be searched or dated.
struct Entry
{
    Record record;   // without its places: those are where the file was found
    QString search;  // its labels, maker, operator and comment, in lower case
    QString addedAt; // when it was indexed (UTC, ISO)
};

// What the archive keeps of a file's bytes: its hash, labels, measures and whether it is damaged
// (and why); with limits, its verdict under them.
Entry entryOf(const QByteArray &bytes, const std::optional<Acceptance::Limits> &limits);

// Whether bytes begin as a SOR file does (the map block's name, or a first version's map
// revision), or are too few to tell: a file that does not is no trace at all, not a damaged one.
bool beginsLikeSor(const QByteArray &bytes);

} // namespace Archive
