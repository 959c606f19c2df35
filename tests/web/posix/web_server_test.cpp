// The live page's server on a loopback port, asked by a raw socket what a browser and what an
// attacker would ask: it serves its own files and API only, read-only, within its limits.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_device.h"
#include "web/web_server.h"

namespace kv::web {
namespace {

constexpr int ReplyWaitMs = 5000;

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until `what` came (never, when empty), the server closes or it stays silent.
std::string ReadUntil(int fd, const std::string& what = "") {
    std::string got;
    char buffer[4096];
    pollfd p{fd, POLLIN, 0};
    while ((what.empty() || got.find(what) == std::string::npos) &&
           ::poll(&p, 1, ReplyWaitMs) > 0) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

// Sends the bytes and reads until the server closes or stays silent.
std::string Exchange(int port, const std::string& request) {
    const int fd = Connect(port);
    if (fd < 0) return {};
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const std::string reply = ReadUntil(fd);
    ::close(fd);
    return reply;
}

std::string Get(int port, const std::string& target, const std::string& headers = "") {
    return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nConnection: close\r\n" + headers + "\r\n");
}

std::string StatusOf(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
}

class WebServerOnLoopback : public ::testing::Test {
  protected:
    void start(const std::string& token = "") {
        port = FreePort();
        std::string error;
        ASSERT_TRUE(server.start(ServerSettings{"127.0.0.1", port, token}, error)) << error;
        pass(1'796'700'000'000, 21.5f);
    }
    // A pass with one sound reading of the named sensor.
    void pass(int64_t ms, float celsius) {
        PassDevice d{SimMakeRom(0x28, 0x0417A3C41EFF), PowerMode::External, "Котёл"};
        d.measured = true;
        d.verdict = Verdict::Ok;
        d.celsius = celsius;
        d.answered = true;
        model.takePass(PassInput{ms, 0, {d}, true});
    }
    WebModel model{u"ttyUSB0", 1, Limits{}, 1'796'600'000'000};
    WebServer server{model};
    int port = 0;
};

TEST_F(WebServerOnLoopback, ServesItsOwnFilesAndApiOnly) {
    start();
    const std::string page = Get(port, "/");
    EXPECT_EQ(StatusOf(page), "HTTP/1.1 200 OK");
    EXPECT_NE(page.find("Content-Security-Policy: default-src 'none'; script-src 'self'"),
              std::string::npos);
    EXPECT_NE(page.find("X-Content-Type-Options: nosniff"), std::string::npos);
    EXPECT_EQ(StatusOf(Get(port, "/dygraph.min.js")), "HTTP/1.1 200 OK");
    const std::string sensors = Get(port, "/api/v1/sensors");
    EXPECT_NE(sensors.find("\"name\":\"Котёл\""), std::string::npos) << sensors;
    EXPECT_NE(Get(port, "/api/v1/history?rom=28-0417A3C41EFF-" +
                            sensors.substr(sensors.find("-0417A3C41EFF-") + 14, 2))
                  .find("21.5"),
              std::string::npos);
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/history?rom=nonsense")), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/history?since=-5")), "HTTP/1.1 400 Bad Request");
    // No file is ever read from a path.
    for (const char* trick : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "//etc/passwd",
                              "/page.js/../../../etc/passwd", "/index.html", "/api/v1/../../x",
                              "/api/v2/sensors", "/%00/etc/passwd"}) {
        const std::string reply = Get(port, trick);
        EXPECT_EQ(StatusOf(reply), "HTTP/1.1 404 Not Found") << trick;
        EXPECT_EQ(reply.find("root:"), std::string::npos) << trick;
    }
}

TEST_F(WebServerOnLoopback, RefusesWhatAReadOnlyPageNeverAsks) {
    start();
    EXPECT_EQ(
        StatusOf(Exchange(port, "POST /api/v1/sensors HTTP/1.1\r\nHost: 127.0.0.1:" +
                                    std::to_string(port) + "\r\nContent-Length: 5\r\n\r\nhello")),
        "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(StatusOf(Get(port, "/", "Host-Again: x\r\n")).substr(0, 12), "HTTP/1.1 200");
    std::string many;
    for (int i = 0; i < 60; ++i) many += "X-Header-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/sensors", many)),
              "HTTP/1.1 431 Request Header Fields Too Large");
    // Larger than a request may be: refused, never answered with the page.
    const std::string huge = Get(port, "/", "X-Big: " + std::string(64 * 1024, 'a') + "\r\n");
    EXPECT_EQ(huge.find("200 OK"), std::string::npos) << StatusOf(huge);
    const std::string longTarget = Get(port, "/" + std::string(64 * 1024, 'a'));
    EXPECT_EQ(longTarget.find("200 OK"), std::string::npos) << StatusOf(longTarget);
    EXPECT_EQ(Exchange(port, "\x16\x03\x01 garbage\r\n\r\n").find("200 OK"), std::string::npos);
    // A page of another site that reaches the loopback through a name of its own.
    EXPECT_EQ(StatusOf(Exchange(port,
                                "GET /api/v1/sensors HTTP/1.1\r\nHost: evil.example\r\n"
                                "Connection: close\r\n\r\n")),
              "HTTP/1.1 421 Misdirected Request");
    // Still serving.
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/sensors")), "HTTP/1.1 200 OK");
}

TEST_F(WebServerOnLoopback, BoundsConnectionsAndAsksForTheToken) {
    start("s3cret");
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/sensors")), "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/sensors?token=wrong")), "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/sensors?token=s3cret")), "HTTP/1.1 200 OK");
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/sensors", "Authorization: Bearer s3cret\r\n")),
              "HTTP/1.1 200 OK");
    EXPECT_EQ(StatusOf(Get(port, "/")), "HTTP/1.1 200 OK");  // the page holds no reading

    // 200 idle connections: the server holds a bounded number of them and stays usable once
    // they are gone.
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i)
        if (const int fd = Connect(port); fd >= 0) idle.push_back(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(server.connections(), 0u);
    EXPECT_LE(server.connections(), 64u);
    for (const int fd : idle) ::close(fd);
    EXPECT_EQ(StatusOf(Get(port, "/api/v1/sensors?token=s3cret")), "HTTP/1.1 200 OK");
}

// The stream sends the state at once and each change after it.
TEST_F(WebServerOnLoopback, StreamsEveryPass) {
    start();
    const int fd = Connect(port);
    const std::string request =
        "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const std::string first = ReadUntil(fd, "]}\n\n");
    EXPECT_NE(first.find("text/event-stream"), std::string::npos);
    EXPECT_NE(first.find("event: pass"), std::string::npos);
    pass(1'796'700'001'000, 23.0625f);
    server.wake();
    EXPECT_NE(ReadUntil(fd, "23.0625").find("23.0625"), std::string::npos);
    ::close(fd);
    server.stop();  // with a stream open: it ends, and the stop returns
}

}  // namespace
}  // namespace kv::web
