#include "ServerFixture.h"

#include "http/ResponseHeader.h"

#include <QElapsedTimer>

namespace {

using AnswerDeliveryTest = ServerFixture;

const QByteArray kPlayer = "<html>player</html>\n";

// Input that comes after the request has been read must not reset the
// connection and destroy the answer, whether it comes before the handler
// closes the slot (sent here from the data event, ahead of the handler),
// along with the request, or once the answer is out.
TEST_F(AnswerDeliveryTest, InputAfterTheRequestNeverCostsTheAnswer)
{
    enum class When { AtOnce, WhileAnswering, AfterTheAnswer };
    struct Case {
        const char* name;
        QByteArray first, rest;
        int clients;
    };
    const Case cases[] = {
        {"split request", "GET /player.html HTTP/1.1\r\n", "Host: 127.0.0.1\r\n\r\n", 2000},
        {"pipelined pair", "GET /player.html HTTP/1.1\r\n\r\n", "GET /error.htm HTTP/1.1\r\n\r\n", 500},
    };
    LoopbackClient* current = nullptr;
    QByteArray pendingRest;
    QObject::connect(webServer.get(), &TcpSocketArray::DataArrived, webServer.get(), [&](int) {
        if (current && !pendingRest.isEmpty())
            current->send(std::exchange(pendingRest, QByteArray()));
    });
    start(freePortRun(1)); // after the hook, so the hook runs first
    const QByteArray answer = responseHeader("text/html", int32_t(kPlayer.size())) + kPlayer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int whole = 0;
        for (int i = 0; i < c.clients; ++i) {
            const When when = When(i % 3);
            LoopbackClient client(state.My_PORT);
            current = &client;
            ASSERT_TRUE(client.send(when == When::AtOnce ? c.first + c.rest : c.first));
            if (when == When::WhileAnswering)
                pendingRest = c.rest;
            if (when == When::AfterTheAnswer) {
                ASSERT_TRUE(pumpUntil([&] { return client.poll() || client.received().size() >= answer.size(); }));
                client.send(c.rest);
            }
            client.readAll();
            current = nullptr;
            if (client.received() == answer && !client.wasReset())
                ++whole;
            else
                ADD_FAILURE() << "client " << i << " got " << client.received().size() << " bytes"
                              << (client.wasReset() ? ", then a reset" : "");
            if (whole < i + 1 - 3)
                break; // one failure per timing is enough to see
        }
        EXPECT_EQ(whole, c.clients);
    }
    EXPECT_TRUE(pumpUntil([&] { return webServer->lingeringConnections() == 0; }));
}

// Slow readers of one cached file share its body: it is counted once against
// the memory allowed for answers finishing in the background. Bodies read for
// each request are counted each, and that memory stays within the limit.
TEST_F(AnswerDeliveryTest, SlowReadersOfACachedFileAllGetEveryByte)
{
    constexpr qsizetype kSize = 512 * 1024;
    constexpr qint64 kBudget = 2 * 1024 * 1024; // room for four bodies, not ten
    constexpr int kReaders = 10;
    constexpr double kBytesPerMs = 200.0; // about 200 KB/s each
    const QByteArray body = patternBytes(kSize);
    web.write(QStringLiteral("shared.bin"), body);
    server->fileCache().prime(web.root() + "shared.bin", body);
    webServer->setBackgroundLimits(256, kBudget);
    os.sendBuffer = 16 * 1024;
    start(freePortRun(1));
    const QByteArray answer = responseHeader("application/octet-stream", int32_t(kSize)) + body;
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "cached" : "read for each request");
        if (!shared)
            web.write(QStringLiteral("fresh.bin"), body); // too young to be kept
        std::vector<std::unique_ptr<LoopbackClient>> readers;
        for (int i = 0; i < kReaders; ++i) {
            readers.push_back(std::make_unique<LoopbackClient>(state.My_PORT, 4096));
            ASSERT_TRUE(readers.back()->send(shared ? "GET /shared.bin HTTP/1.1\r\n\r\n" : "GET /fresh.bin HTTP/1.1\r\n\r\n"));
            // Its first byte means the handler has run and closed the slot.
            ASSERT_TRUE(pumpUntil([&] {
                readers.back()->take(1);
                return !readers.back()->received().isEmpty();
            }));
        }
        EXPECT_LE(webServer->backgroundBytes(), kBudget);
        if (!shared) {
            // Ten separate bodies do not fit: the most stalled were dropped.
            EXPECT_LT(webServer->backgroundConnections(), kReaders);
            EXPECT_TRUE(pumpUntil([&] { return readers.front()->poll(); }));
            EXPECT_TRUE(readers.front()->wasReset());
            continue;
        }
        EXPECT_EQ(webServer->backgroundConnections(), kReaders);
        EXPECT_LT(webServer->backgroundBytes(), 2 * kSize);
        QElapsedTimer clock;
        clock.start();
        // Each takes its share of the rate only, never what is merely waiting.
        const bool done = pumpUntil([&] {
            const auto allowed = qsizetype(double(clock.elapsed()) * kBytesPerMs);
            bool all = true;
            for (auto& reader : readers) {
                reader->take(allowed - reader->received().size());
                all = all && reader->received().size() == answer.size();
            }
            return all;
        }, 10000);
        EXPECT_TRUE(done);
        for (auto& reader : readers) {
            reader->readAll();
            EXPECT_EQ(reader->received().size(), answer.size());
            EXPECT_TRUE(reader->received() == answer);
            EXPECT_FALSE(reader->wasReset());
        }
    }
}

} // namespace
