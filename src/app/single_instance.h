// Single instance: the first start listens on a per-user local socket; a later start hands its
// file names to it, which activates its window and opens them, and then ends.
#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

namespace quillon::app {

// "QUILLON_RARU-{GUID}-<user>"; QUILLON_INSTANCE_NAME replaces it (tests).
QString defaultInstanceName();
// The identifier a running instance answers with.
QString instanceAnswer();

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Sends the (absolute) file names to a running instance. True when it answered with its
    // identifier: this process then ends without opening anything.
    bool handOver(const QStringList& files, int timeoutMs = 3000);
    // Becomes the running instance. False when the name cannot be taken.
    bool listen();

signals:
    // A later start asked to be activated and to open these files.
    void activationRequested(const QStringList& files);

private:
    void onNewConnection();

    QString name_;
    QLocalServer* server_ = nullptr;
};

} // namespace quillon::app
