#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QWidget;

// Answers modal boxes and dialogs as they open (they block the caller), and records them.
class ModalWatcher : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString className;
        QString title;
        QString text;
    };
    using Handler = std::function<void(QWidget *)>;

    explicit ModalWatcher(QObject *parent = nullptr);

    // Handlers are used in order, one per modal widget; with none left, boxes get OK and
    // dialogs are cancelled.
    void push(Handler handler) { handlers.append(std::move(handler)); }
    const QList<Seen> &seen() const { return record; }

    static Handler chooseFile(const QString &path);
    static Handler chooseDirectory(const QString &path);
    static void dismiss(QWidget *widget);

private:
    void poll();

    QTimer timer;
    // A handler may wait for the window; the widget it answers is not answered twice.
    bool answering = false;
    QList<Handler> handlers;
    QList<Seen> record;
};
