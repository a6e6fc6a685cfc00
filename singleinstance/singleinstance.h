#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// The first copy of a program that a user starts listens on a local socket of that user's;
// a later copy started with files hands them over (as absolute paths) and ends, so that the
// files of a multiple selection, each started in a copy of its own, open in one window.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum Role {
        HandedOver, // a running copy took the files: this one ends
        Listening,  // none was running: this one takes later copies' files
        Alone,      // a running copy keeps the name, or none could be reached: open a window
    };
    Q_ENUM(Role)

    // `program` names the socket, together with the user's home folder.
    explicit SingleInstance(const QString &program, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket's name for `program` and the user running this process.
    static QString serverName(const QString &program);

    // Hands `files` to a running copy, or listens if none runs. Copies started together
    // (a selection of files) decide one at a time. With no files nothing is handed over.
    Role start(const QStringList &files);

signals:
    // Files a later copy was started with, as absolute paths, in its order.
    void filesReceived(const QStringList &files);

private:
    bool handOver(QLocalSocket &socket, const QStringList &files);
    void receive(QLocalSocket *socket);

    QString name;
    QLocalServer *server = nullptr;
};
