#pragma once

#include "http/SocketContext.h"
#include "http/TcpSocketControl.h"

#include <QObject>

#include <chrono>
#include <memory>
#include <vector>

// The socket control array: element 0 exists from the start (the listener),
// further elements are created by Load as copies of element 0. The events
// of every element are raised again here with the element's index.
class TcpSocketArray : public QObject {
    Q_OBJECT
public:
    // "os" must outlive the array.
    explicit TcpSocketArray(SocketOs& os = posixSocketOs(), QObject* parent = nullptr);
    ~TcpSocketArray() override;

    // Creates element index (1 or more) as a copy of element 0. False when it
    // already exists or the index is out of range.
    bool load(int index);
    bool contains(int index) const;
    // nullptr when the element does not exist.
    TcpSocketControl* element(int index) const;
    // Precondition: contains(index).
    TcpSocketControl& operator[](int index) const { return *element(index); }
    // One more than the highest index in use.
    int size() const { return static_cast<int>(m_elements.size()); }

    void setStallTimeout(std::chrono::milliseconds timeout) { m_context.setStallTimeout(timeout); }
    // Closed connections still delivering their last bytes.
    int backgroundConnections() const { return m_context.backgroundCount(); }
    qint64 backgroundBytes() const { return m_context.backgroundBytes(); }
    // Answered connections waiting for the peer's close.
    int lingeringConnections() const { return m_context.lingeringCount(); }
    // Past either limit, the connection that has stalled longest is dropped.
    void setBackgroundLimits(int maxConnections, qint64 maxBytes)
    {
        m_context.setBackgroundLimits(maxConnections, maxBytes);
    }
    // The slot whose connection came first among those that have sent
    // nothing; nullptr when there is none.
    TcpSocketControl* oldestSilent() const;

signals:
    void ConnectionRequest(int index, int handle);
    void SocketEnded(int index);
    void DataArrived(int index);

private:
    void attach(TcpSocketControl& element);
    bool shedIdle();

    SocketContext m_context;
    std::vector<std::unique_ptr<TcpSocketControl>> m_elements;
};
