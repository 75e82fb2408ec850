#include "platform/real/qt_tcp.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <string>

namespace platform {

namespace {

class QtConnection : public TcpConnection {
  public:
    QtConnection(const std::string& host, int port, double timeoutSeconds, TcpEvents events)
        : socket_(new QTcpSocket(QCoreApplication::instance())),
          timer_(new QTimer(QCoreApplication::instance())),
          events_(std::move(events)) {
        QTcpSocket* s = socket_;
        // Bounded: a full buffer stops the socket reading from the network until the station
        // has read some of it (Qt's default is no bound at all).
        s->setReadBufferSize(static_cast<qint64>(kTcpReadBufferBytes));
        QObject::connect(s, &QTcpSocket::connected, s, [this] {
            timer_->stop();
            if (!done_) {
                done_ = true;
                call(events_.connected, true);
            }
        });
        QObject::connect(s, &QTcpSocket::readyRead, s, [this] { call(events_.readyRead); });
        QObject::connect(s, &QTcpSocket::bytesWritten, s, [this] { call(events_.bytesWritten); });
        QObject::connect(s, &QTcpSocket::disconnected, s, [this] {
            if (done_) call(events_.closed);
        });
        QObject::connect(s, &QTcpSocket::errorOccurred, s, [this](QAbstractSocket::SocketError e) {
            error_ = socket_->errorString().toStdString();
            if (!done_) {
                done_ = true;
                timer_->stop();
                call(events_.connected, false);
            } else if (e != QAbstractSocket::RemoteHostClosedError) {
                call(events_.error);
            }
        });
        timer_->setSingleShot(true);
        QObject::connect(timer_, &QTimer::timeout, s, [this, timeoutSeconds] {
            if (done_) return;
            done_ = true;
            char text[48];
            std::snprintf(text, sizeof text, "no answer within %.1f s", timeoutSeconds);
            error_ = text;
            socket_->abort();
            call(events_.connected, false);
        });
        timer_->start(static_cast<int>(std::lround(timeoutSeconds * 1000.0)));
        s->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
    }
    ~QtConnection() override {
        close();
        // Not deleted here: this may run inside one of the socket's own signals.
        socket_->deleteLater();
        timer_->deleteLater();
    }
    std::size_t read(std::uint8_t* buffer, std::size_t max) override {
        qint64 n = socket_->read(reinterpret_cast<char*>(buffer), static_cast<qint64>(max));
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::size_t bytesAvailable() const override {
        return static_cast<std::size_t>(socket_->bytesAvailable());
    }
    bool write(const std::uint8_t* data, std::size_t count) override {
        if (socket_->state() != QAbstractSocket::ConnectedState) return false;
        if (socket_->write(reinterpret_cast<const char*>(data), static_cast<qint64>(count)) !=
            static_cast<qint64>(count))
            return false;
        // Out now, as far as the socket takes it, rather than on the next turn of the loop
        // after every other ready port has been served.
        socket_->flush();
        return true;
    }
    std::size_t bytesToWrite() const override {
        return static_cast<std::size_t>(socket_->bytesToWrite());
    }
    void close() override {
        events_ = {};
        done_ = true;
        timer_->stop();
        QObject::disconnect(socket_, nullptr, nullptr, nullptr);
        socket_->abort();
    }
    std::string localAddress() const override {
        return socket_->localAddress().toString().toStdString();
    }
    std::string localName() const override { return QHostInfo::localHostName().toStdString(); }
    std::string peerAddress() const override {
        return socket_->peerAddress().toString().toStdString();
    }
    std::string peerName() const override { return socket_->peerName().toStdString(); }
    std::string errorText() const override { return error_; }

  private:
    template <class F, class... A>
    void call(const F& fn, A... args) {
        if (fn) {
            F copy = fn;  // the handler may close this connection
            copy(args...);
        }
    }
    QTcpSocket* socket_;
    QTimer* timer_;
    TcpEvents events_;
    bool done_ = false;
    std::string error_;
};

}  // namespace

std::unique_ptr<TcpConnection> QtTcp::connect(const std::string& host, int port,
                                              double timeoutSeconds, TcpEvents events) {
    return std::make_unique<QtConnection>(host, port, timeoutSeconds, std::move(events));
}

}  // namespace platform
