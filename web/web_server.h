// The live page's HTTP server: the page and its scripts (built into the program), the JSON
// API and the stream of passes (Server-Sent Events), from a model the logger feeds. It only
// answers GET and HEAD for a fixed set of paths, never a file named by a request, and bounds
// what a client may take: connections, request size, header count, idle time, open streams.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "web/web_model.h"

namespace kv::web {

inline constexpr char DefaultListenAddress[] = "127.0.0.1";

struct ServerSettings {
    std::string address = DefaultListenAddress;  // an IP literal
    int port = 0;
    std::string token;  // empty: the API asks for none
};

// PORT, ADDRESS:PORT or [IPv6]:PORT, the address an IP literal; false when not usable.
bool ParseListenAddress(std::string_view text, ServerSettings& settings);
// 127.0.0.0/8 and ::1: only this machine reaches them.
bool IsLoopbackAddress(std::string_view address);

// false when this build has no HTTP server (the library was missing when it was built).
bool WebServerAvailable();

class WebServer {
  public:
    explicit WebServer(WebModel& model);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Listens and serves on threads of its own; false with a reason when it cannot.
    bool start(const ServerSettings& settings, std::string& error);
    // Something changed in the model: the open streams send it.
    void wake();
    // The connections open now.
    size_t connections() const;
    // Ends every stream and connection.
    void stop();

    struct State;

  private:
    WebModel& model_;
    std::unique_ptr<State> state_;
};

}  // namespace kv::web
