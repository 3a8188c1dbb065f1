#include "http/TcpSocketArray.h"

namespace {
// Element indexes are 16-bit numbers; nothing needs more.
constexpr int kMaxIndex = 32767;
}

TcpSocketArray::TcpSocketArray(SocketOs& os, QObject* parent)
    : QObject(parent)
    , m_context(os)
{
    m_elements.push_back(std::make_unique<TcpSocketControl>(0, m_context));
    attach(*m_elements.front());
    m_context.setShedIdle([this] { return shedIdle(); });
}

TcpSocketArray::~TcpSocketArray()
{
    // Elements go before the context they use.
    m_context.setShedIdle(nullptr);
    m_elements.clear();
}

void TcpSocketArray::attach(TcpSocketControl& element)
{
    connect(&element, &TcpSocketControl::ConnectionRequest, this, &TcpSocketArray::ConnectionRequest);
    connect(&element, &TcpSocketControl::SocketEnded, this, &TcpSocketArray::SocketEnded);
    connect(&element, &TcpSocketControl::DataArrived, this, &TcpSocketArray::DataArrived);
}

bool TcpSocketArray::load(int index)
{
    if (index < 1 || index > kMaxIndex || contains(index))
        return false;
    if (index >= size())
        m_elements.resize(static_cast<size_t>(index) + 1);
    auto element = std::make_unique<TcpSocketControl>(index, m_context);
    element->setPortNumber(m_elements.front()->PortNumber());
    attach(*element);
    m_elements[static_cast<size_t>(index)] = std::move(element);
    return true;
}

bool TcpSocketArray::contains(int index) const
{
    return element(index) != nullptr;
}

TcpSocketControl* TcpSocketArray::element(int index) const
{
    if (index < 0 || index >= size())
        return nullptr;
    return m_elements[static_cast<size_t>(index)].get();
}

TcpSocketControl* TcpSocketArray::oldestSilent() const
{
    TcpSocketControl* oldest = nullptr;
    for (size_t i = 1; i < m_elements.size(); ++i) {
        TcpSocketControl* element = m_elements[i].get();
        if (element && element->HasConnection() && !element->hasSentRequest()
            && (!oldest || element->connectedAt() < oldest->connectedAt()))
            oldest = element;
    }
    return oldest;
}

bool TcpSocketArray::shedIdle()
{
    TcpSocketControl* idle = oldestSilent();
    if (!idle)
        return false;
    // A request that came in meanwhile is answered rather than thrown away.
    idle->receiveWaiting();
    if (idle->HasConnection())
        idle->CloseSocket();
    return true;
}
