// Single instance over QLocalServer / QLocalSocket.
#include "app/single_instance.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>

namespace quillon::app {

namespace {
constexpr const char* kGuidMutex = "{6B1F0C52-3E7A-4D1B-9A4C-2F8E5D7C1A30}";
constexpr const char* kGuidMessage = "{6B1F0C52-3E7A-4D1B-9A4C-2F8E5D7C1A31}";

QByteArray frame(const QString& ident, const QStringList& files) {
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out << ident << files;
    QByteArray msg;
    QDataStream head(&msg, QIODevice::WriteOnly);
    head << static_cast<quint32>(body.size());
    return msg + body;
}
} // namespace

QString defaultInstanceName() {
    QByteArray env = qgetenv("QUILLON_INSTANCE_NAME");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    QString user = qEnvironmentVariable("USER", QStringLiteral("user"));
    return QStringLiteral("QUILLON_RARU-%1-%2").arg(QLatin1String(kGuidMutex), user);
}

QString instanceAnswer() {
    return QStringLiteral("UWM_ARE_YOU_QUILLON-%1").arg(QLatin1String(kGuidMessage));
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
}

bool SingleInstance::handOver(const QStringList& files, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeoutMs / 3)) return false;
    QStringList absolute;
    for (const QString& f : files) absolute << QDir::current().absoluteFilePath(f);
    socket.write(frame(instanceAnswer(), absolute));
    if (!socket.waitForBytesWritten(timeoutMs / 3)) return false;
    QElapsedTimer t;
    t.start();
    QByteArray reply;
    while (!reply.contains('\n') && t.elapsed() < timeoutMs) {
        if (!socket.waitForReadyRead(std::max<qint64>(1, timeoutMs - t.elapsed()))) break;
        reply += socket.readAll();
    }
    return reply.trimmed() == instanceAnswer().toUtf8();
}

bool SingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // A socket file left by a crashed instance: nobody answered handOver, so take it.
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_)) return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QLocalSocket::readyRead, this, [this, s] {
            QByteArray buf = s->property("buf").toByteArray() + s->readAll();
            s->setProperty("buf", buf);
            if (buf.size() < 4) return;
            QDataStream head(buf);
            quint32 size = 0;
            head >> size;
            if (size > (1u << 24)) { // not one of ours
                s->disconnectFromServer();
                return;
            }
            if (static_cast<quint32>(buf.size() - 4) < size) return;
            QDataStream in(buf.mid(4, static_cast<qsizetype>(size)));
            QString ident;
            QStringList files;
            in >> ident >> files;
            if (ident != instanceAnswer()) {
                s->disconnectFromServer();
                return;
            }
            s->write(instanceAnswer().toUtf8() + '\n');
            s->flush();
            // Opening the files runs event loops (jobs, messages) in which this socket may
            // go away: announce them once its handler has returned.
            QMetaObject::invokeMethod(
                this, [this, files] { emit activationRequested(files); }, Qt::QueuedConnection);
        });
    }
}

} // namespace quillon::app
