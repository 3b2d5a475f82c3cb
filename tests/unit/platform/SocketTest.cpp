// The socket and input-wait services against a loopback printer: the error
// numbers callers compare against, and the waits a status thread relies on.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/inputwait.h"
#include "platform/socket.h"
#include "support/FakeNetPrinter.h"

namespace {

using namespace platform;
using namespace std::chrono_literals;

class SocketTest : public ::testing::Test {
protected:
    // A blocking connection to the printer's data port.
    SOCKET connectToPrinter() {
        const SOCKET socket = tcpSocket();
        EXPECT_NE(socket, INVALID_SOCKET);
        EXPECT_EQ(connectIPv4(socket, m_printer.address().c_str(), 9100), 0) << wsaGetLastError();
        EXPECT_TRUE(m_printer.waitForOpenConnections(1, 0, 5s));
        return socket;
    }

    std::unique_ptr<InputWake> makeWake() {
        LONG error = ERROR_SUCCESS;
        auto wake = InputWake::create(&error);
        EXPECT_NE(wake, nullptr) << error;
        return wake;
    }

    testsupport::FakeNetPrinter m_printer;
};

TEST_F(SocketTest, CallsOnNoSocketFailWithNotSocket) {
    BYTE byte = 0;
    for (const SOCKET none : {SOCKET(0), INVALID_SOCKET}) {
        SCOPED_TRACE(none);
        EXPECT_EQ(send(none, &byte, 1), SOCKET_ERROR);
        EXPECT_EQ(wsaGetLastError(), WSAENOTSOCK);
        EXPECT_EQ(recv(none, &byte, 1), SOCKET_ERROR);
        EXPECT_EQ(wsaGetLastError(), WSAENOTSOCK);
        EXPECT_EQ(setNonBlocking(none, true), SOCKET_ERROR);
        EXPECT_EQ(wsaGetLastError(), WSAENOTSOCK);
        EXPECT_EQ(closeSocket(none), SOCKET_ERROR);
        EXPECT_EQ(wsaGetLastError(), WSAENOTSOCK);
        EXPECT_EQ(duplicateSocket(none), INVALID_SOCKET);
    }
}

TEST_F(SocketTest, AddressThatIsNoDottedAddressIsNotAvailable) {
    const SOCKET socket = tcpSocket();
    ASSERT_NE(socket, INVALID_SOCKET);
    EXPECT_EQ(connectIPv4(socket, "printer.local", 9100), SOCKET_ERROR);
    EXPECT_EQ(wsaGetLastError(), WSAEADDRNOTAVAIL);
    closeSocket(socket);
}

TEST_F(SocketTest, PortNobodyListensOnRefusesTheConnection) {
    const SOCKET socket = tcpSocket();
    ASSERT_NE(socket, INVALID_SOCKET);
    EXPECT_EQ(connectIPv4(socket, m_printer.address().c_str(), 9101), SOCKET_ERROR);
    EXPECT_EQ(wsaGetLastError(), WSAECONNREFUSED);
    closeSocket(socket);
}

TEST_F(SocketTest, InputWaitEndsByInputByWakeOrByTime) {
    const SOCKET socket = connectToPrinter();
    auto wake = makeWake();
    EXPECT_EQ(waitForSocketInput(socket, 50, *wake), InputWait::TimedOut);

    // A wake-up given while nothing waits ends the next wait at once, once.
    wake->set();
    EXPECT_EQ(waitForSocketInput(socket, 5000, *wake), InputWait::Woken);
    EXPECT_EQ(wake->wait(0), InputWait::TimedOut);

    std::thread waker([&] { wake->set(); });
    EXPECT_EQ(waitForSocketInput(socket, 5000, *wake), InputWait::Woken);
    waker.join();

    m_printer.sendAutomaticStatus();
    EXPECT_EQ(waitForSocketInput(socket, 5000, *wake), InputWait::Arrived);
    BYTE block[4] = {};
    EXPECT_EQ(recv(socket, block, sizeof block), 4);
    closeSocket(socket);
    // No socket: only the wake-up can end the wait.
    wake->set();
    EXPECT_EQ(waitForSocketInput(INVALID_SOCKET, 5000, *wake), InputWait::Woken);
}

TEST_F(SocketTest, DuplicateKeepsTheConnectionOpenAfterTheOriginalCloses) {
    const SOCKET socket = connectToPrinter();
    const SOCKET copy = duplicateSocket(socket);
    ASSERT_NE(copy, INVALID_SOCKET);
    ASSERT_NE(copy, socket);
    EXPECT_EQ(closeSocket(socket), 0);
    const BYTE data[] = {'o', 'k'};
    EXPECT_EQ(send(copy, data, sizeof data), 2);
    EXPECT_TRUE(m_printer.waitForReceived(2, 5s));
    EXPECT_EQ(m_printer.openDataConnections(), 1);
    EXPECT_EQ(closeSocket(copy), 0);
    EXPECT_TRUE(m_printer.waitForOpenConnections(0, 0, 5s));
}

}  // namespace
