#pragma once

#include "otdr/fileentry.h"

#include <QByteArray>
#include <QList>
#include <QObject>

// The instrument's file list: decodes list-reply records and keeps the entries they name.
class OtdrAction : public QObject
{
    Q_OBJECT

public:
    explicit OtdrAction(QObject *parent = nullptr);
    ~OtdrAction() override;

    static const char EndMarker[];

    // False only for the record that ends a listing.
    bool parseListReply(const QByteArray &reply);
    QList<FileEntry> fileEntries() const;
    bool listingDone() const;
    // A new listing replaces the old one, so rows, entries and item numbers stay in step.
    void clear();

signals:
    void valueChanged(int newValue);

private:
    QList<FileEntry> fileList;
};
