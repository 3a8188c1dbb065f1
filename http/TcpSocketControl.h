#pragma once

#include "http/OutputQueue.h"
#include "http/SocketSlot.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>

class SocketContext;

// One element of the socket control array: either the listener or a
// connection slot, on a non-blocking TCP socket driven by the event loop.
// Events carry the element's index first. Members never raise an event
// from inside themselves; events come only from the event loop.
class TcpSocketControl : public QObject, public SocketSlot {
    Q_OBJECT
public:
    // "context" must outlive the element.
    TcpSocketControl(int index, SocketContext& context, QObject* parent = nullptr);
    ~TcpSocketControl() override;

    int index() const { return m_index; }

    int16_t PortNumber() const { return m_port; }
    void setPortNumber(int16_t port) { m_port = port; }
    // The host's primary IPv4 address as dotted text.
    QString OwnAddress() const;
    // Where the listener binds: numeric IPv4 or IPv6 text; empty (the
    // default) is every interface, IPv4 and IPv6 on one socket where the
    // system has IPv6. Used by the next StartListening.
    void setBindAddress(const QString& address) { m_bindAddress = address.toLatin1(); }
    // Binds PortNumber at the bind address and starts raising
    // ConnectionRequest. False when the port is in use, not permitted or
    // below 1, or the address is not one of this host's; lastError() then
    // holds the errno value.
    bool StartListening();
    bool isListening() const { return m_mode == Mode::Listening; }
    int lastError() const { return m_lastError; }

    // Harmless on an element that holds nothing. Bytes already written are
    // still delivered, followed by the end of the stream; the descriptor is
    // closed once the peer has closed too (or after a short wait), so that
    // input it still sends cannot reset the connection before it has read
    // the answer. The element is free again at once.
    void CloseSocket() override;
    bool HasConnection() const override { return m_mode == Mode::Connected; }
    // Takes over a handle announced by ConnectionRequest and not yet taken.
    bool TakeConnection(int handle);

    int ReadData(QByteArray& buffer, int length) override;
    using SocketSlot::WriteData;
    // Takes what the peer has sent by now without waiting for the event
    // loop; raises DataArrived when a request is there.
    void receiveWaiting();
    int WriteData(const QByteArray& buffer, qsizetype offset, int length) override;
    // Queues the file range; it is read in chunks as the peer takes them.
    int WriteFile(const std::shared_ptr<OpenFile>& file, qint64 offset, int length) override;

    // When the connection held now was taken.
    std::chrono::steady_clock::time_point connectedAt() const { return m_connectedAt; }
    // Whether any byte has come from the connection held now.
    bool hasSentRequest() const { return m_requestSeen; }
    // On the listener, while it raises ConnectionRequest: the IPv4 address
    // (network order) the connection came from, also for IPv4 clients on an
    // IPv6 socket; a stand-in key for IPv6 peers (peerKey); 0 when unknown.
    uint32_t acceptedPeer() const { return m_acceptedPeer; }

signals:
    void ConnectionRequest(int index, int handle);
    void SocketEnded(int index);
    void DataArrived(int index);

private:
    enum class Mode { Idle, Listening, Connected };

    void onReadable();
    void onWritable();
    void acceptPending();
    void receive();
    // Returns false when the connection has failed.
    bool flushOutput();
    // Sends now when much is queued; otherwise leaves it for the close or
    // for the return to the event loop.
    void outputQueued();
    // Closes a connection that failed or that the peer ended.
    void dropConnection(bool reset);
    void suspendNotifiers();

    int m_index;
    SocketContext& m_context;
    int16_t m_port = 0;
    QByteArray m_bindAddress;
    int m_lastError = 0;
    Mode m_mode = Mode::Idle;
    int m_fd = -1;
    uint32_t m_acceptedPeer = 0;
    // Counts connections taken, so a deferred event never reaches a newer one.
    quint64 m_generation = 0;
    QByteArray m_inbox;
    bool m_lastReadFilled = false;
    bool m_requestSeen = false;
    // Whether anything was written to the connection held now.
    bool m_answered = false;
    // Set while this element raises DataArrived: output written meanwhile
    // is looked at once the handler returns, not through the notifier.
    bool m_inDataEvent = false;
    std::chrono::steady_clock::time_point m_connectedAt;
    OutputQueue m_output;
    QSocketNotifier m_readNotifier{QSocketNotifier::Read};
    QSocketNotifier m_writeNotifier{QSocketNotifier::Write};
    QTimer m_stallTimer;
    QTimer m_resumeTimer;
};
