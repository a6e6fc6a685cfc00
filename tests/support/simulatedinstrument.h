#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

// One file stored on the simulated instrument. The name is raw bytes, as sent on the wire.
struct StoredFile
{
    QByteArray name;
    QByteArray content;
    QString path;         // backing file when the instrument serves a folder
    bool deleted = false; // keeps its item number until the next listing
};

// The instrument's side of the serial link, played on the master end of a pseudo-terminal.
// It answers list, delete and download requests. Item numbers are positions in the last
// listing: a deleted file keeps its number, unanswerable, until the next listing. Every list
// record, "OK" and "FINAL" is written only once the program has read everything before it, and
// nothing is written after it until the program has read it, so that one read sees one reply.
class SimulatedInstrument : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        int chunkSize = 64;   // bytes of file data per reply
        int replyPauseMs = 0; // pause before each reply
        int bitRate = 0;      // 8N1 line rate to imitate; 0: as fast as the terminal takes it
        // fault: each reply written a few bytes at a time (bitRate / 100), paced by the line
        // rate, as a plain serial line delivers it and the instrument's USB port never does
        bool splitReplies = false;
        int stopAfterRequests = -1;     // fault: answer nothing from this request on (0-based)
        int dropLinkAfterBytes = -1;    // fault: the link goes away after this much file data
        int silenceAfterReplies = -1;   // fault: falls silent after writing this many replies
        bool mergeFirstRecords = false; // fault: the first two list records in one write
        bool glueFinal = false;         // fault: "FINAL" written together with the last data
        int damagedItem = 0;            // fault: this item's download (1-based) is damaged:
        int cutBytes = 0;               //   sent this many bytes short of what was listed,
        int flipOffset = -1;            //   and/or with the byte at this offset inverted
        // The instrument's own last entry before the end marker; the program never shows it.
        QByteArray trailerName = "config.dat";
        QByteArray ackReply = "OK"; // what a delete is answered with
        // How long after a write an empty terminal queue may be trusted: written bytes reach
        // the queue a moment after the write. Tests keep the safe default; the benchmark,
        // which checks every byte it saves, shortens it.
        int isolationGapUs = 2000;
    };

    static const QByteArray EndMarker;

    explicit SimulatedInstrument(int masterFd, QObject *parent = nullptr);
    ~SimulatedInstrument() override;

    // The requests a program sends, built as the instrument reads them.
    static QByteArray listRequest();
    static QByteArray deleteRequest(int item);
    static QByteArray downloadRequest(int item);

    // Talks on another terminal from now on, as when the cable is plugged in again; the
    // stored files and the numbering of the last listing stay.
    void attach(int masterFd);

    // New options also end a silence that an earlier option started.
    void setOptions(const Options &options)
    {
        opts = options;
        silenced = false;
        repliesWritten = 0;
    }
    const Options &options() const { return opts; }
    void setFiles(const QList<StoredFile> &files) { stored = files; }
    // The files still stored.
    QList<StoredFile> files() const;
    // Serves the files of a folder in name order; deleting removes them from the folder.
    bool serveFolder(const QString &folder);

    // Writes bytes that answer no request, as its own reply.
    void sendRaw(const QByteArray &bytes);
    // Stops talking: nothing more is read or written.
    void detach();

    const QList<QByteArray> &requests() const { return received; }
    // True when every reply has been written and read by the program.
    bool settled() const;
    // Replies not yet written in full.
    int unwritten() const { return queue.size(); }

    static QByteArray listRecord(quint16 size, const QByteArray &name);

signals:
    void requestReceived(const QByteArray &request);
    // A list record, "OK", "FINAL" or raw reply has been written in full.
    void statusReplyWritten(const QByteArray &reply);
    void linkDropRequested();

private:
    struct Reply
    {
        QByteArray bytes;
        bool isolated = true;
        bool fileData = false;
    };

    void readRequests();
    void handleRequest(const QByteArray &request);
    void queueListing();
    void queueDownload(int item);
    void queueDelete(int item);
    void enqueue(const QByteArray &bytes, bool isolated, bool fileData = false);
    void pump();
    qint64 lineTimeNs(int bytes) const;
    void scheduleNs(qint64 ns);
    int slaveQueued() const;
    bool lineIdle(qint64 now);

    int master = -1;
    int slave = -1;
    Options opts;
    QList<StoredFile> stored;
    QList<Reply> queue;
    QByteArray input;
    QList<QByteArray> received;
    QSocketNotifier *notifier = nullptr;
    QSocketNotifier *writable = nullptr;
    QTimer pumpTimer;
    QElapsedTimer clock;
    qint64 lastWriteNs = 0;
    qint64 lastRequestNs = 0;
    qint64 idleSinceNs = -1;
    qint64 nextWriteNs = 0;
    int offset = 0; // bytes of the front reply already written
    bool mustDrain = false;
    qint64 fileDataSent = 0;
    bool detached = false;
    int repliesWritten = 0;
    bool silenced = false;
};
