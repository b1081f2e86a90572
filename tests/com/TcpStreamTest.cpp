// The stream's waits: they happen inside the kernel's receive and send with the socket's timeout,
// which is kept armed from one wait to the next, so each wait must still end at its own deadline,
// and a shutdown from another thread must still end it at once.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "com/TcpStream.h"

namespace com {
namespace {

using std::chrono::milliseconds;

// A connected pair over loopback: the stream under test and the raw peer socket.
class TcpStreamWaits : public ::testing::Test {
protected:
    void SetUp() override {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(listener, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.180", &a.sin_addr);
        socklen_t len = sizeof a;
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(::listen(listener, 1), 0);
        ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
        std::string error;
        stream = TcpStream::Connect("127.0.0.180", ntohs(a.sin_port), 5000, error);
        peer = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        ASSERT_TRUE(stream) << error;
        ASSERT_GE(peer, 0);
    }
    void TearDown() override {
        if (writer.joinable()) writer.join();
        if (peer >= 0) ::close(peer);
    }
    // The peer sends `n` bytes after `delay`.
    void SendLater(milliseconds delay, size_t n) {
        writer = std::thread([this, delay, n] {
            std::this_thread::sleep_for(delay);
            std::vector<uint8_t> bytes(n, 0x42);
            (void)::send(peer, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        });
    }
    // How long a read of n bytes took, and how it ended.
    std::pair<StreamStatus, milliseconds> TimedRead(size_t n, Deadline deadline) {
        std::vector<uint8_t> into(n);
        const auto start = SteadyClock::now();
        const StreamStatus s = stream->Read(into.data(), n, deadline);
        return {s, std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start)};
    }

    std::unique_ptr<TcpStream> stream;
    int peer = -1;
    std::thread writer;
};

TEST_F(TcpStreamWaits, EachWaitEndsAtItsOwnDeadlineWhateverTheWaitBeforeArmed) {
    // A long wait that is answered leaves a long timeout armed on the socket...
    SendLater(milliseconds(30), 100);
    EXPECT_EQ(TimedRead(100, DeadlineIn(5000)).first, StreamStatus::Ok);
    writer.join();
    // ...which a short one must not inherit.
    auto [status, took] = TimedRead(100, DeadlineIn(150));
    EXPECT_EQ(status, StreamStatus::Timeout);
    EXPECT_GE(took, milliseconds(140));
    EXPECT_LT(took, milliseconds(1500));
    // Without a deadline the wait lasts until the data, then a deadline holds again.
    SendLater(milliseconds(300), 20000);  // a large read goes straight to its place
    EXPECT_EQ(TimedRead(20000, kNoDeadline).first, StreamStatus::Ok);
    writer.join();
    std::tie(status, took) = TimedRead(1, DeadlineIn(100));
    EXPECT_EQ(status, StreamStatus::Timeout);
    EXPECT_LT(took, milliseconds(1500));
    // A deadline already passed ends the wait at once.
    EXPECT_EQ(TimedRead(1, SteadyClock::now() - milliseconds(1)).first, StreamStatus::Timeout);
}

TEST_F(TcpStreamWaits, AShutdownFromAnotherThreadEndsAWaitAtOnce) {
    std::thread stopper([this] {
        std::this_thread::sleep_for(milliseconds(100));
        stream->Shutdown();
    });
    auto [status, took] = TimedRead(100, kNoDeadline);
    stopper.join();
    EXPECT_NE(status, StreamStatus::Ok);
    EXPECT_LT(took, milliseconds(3000));
}

TEST_F(TcpStreamWaits, AWriteToAPeerThatNeverReadsEndsAtItsDeadline) {
    std::vector<uint8_t> big(size_t(64) << 20, 0x17);  // more than both socket buffers hold
    const auto start = SteadyClock::now();
    EXPECT_EQ(stream->Write(big.data(), big.size(), DeadlineIn(300)), StreamStatus::Timeout);
    const auto took = std::chrono::duration_cast<milliseconds>(SteadyClock::now() - start);
    EXPECT_GE(took, milliseconds(290));
    EXPECT_LT(took, milliseconds(3000));
}

}  // namespace
}  // namespace com
