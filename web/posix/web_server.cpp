// The server on GNU libmicrohttpd: one internal thread polls every connection, so an open
// page costs no thread of its own; a stream with nothing to send is suspended until the next
// pass (or its keep-alive) resumes it.
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "monitor/sensor_names.h"
#include "onewire/rom_code_text.h"
#include "runtime/integer_text.h"
#include "web/page_assets.h"
#include "web/web_json.h"
#include "web/web_server.h"

namespace kv::web {
namespace {

// What one client may take.
constexpr unsigned MaxConnections = 64;
constexpr unsigned MaxStreams = 16;
constexpr unsigned IdleTimeoutSeconds = 10;
// The request line and the headers must fit in this; a larger request is refused.
constexpr size_t RequestMemoryBytes = 16 * 1024;
constexpr size_t MaxHeaders = 48;
// A stream with nothing to say sends a comment this often, so a page that went away is seen.
constexpr auto KeepAliveEvery = std::chrono::seconds(15);
constexpr size_t StreamBlockBytes = 16 * 1024;
constexpr auto StopWait = std::chrono::seconds(2);

constexpr char ApiSensors[] = "/api/v1/sensors";
constexpr char ApiHistory[] = "/api/v1/history";
constexpr char ApiEvents[] = "/api/v1/events";
constexpr char JsonType[] = "application/json; charset=utf-8";
constexpr char EventType[] = "text/event-stream; charset=utf-8";
constexpr char TextType[] = "text/plain; charset=utf-8";
constexpr char StreamStart[] = "retry: 5000\n\n";
constexpr char KeepAliveText[] = ": keep-alive\n\n";
constexpr char BearerHead[] = "Bearer ";
// Scripts and styles only from the probe itself; nothing of a page may run inline.
constexpr char ContentPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
    "connect-src 'self'; img-src 'self' data:; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Compares without stopping at the first difference, so the time tells nothing.
bool SameSecret(std::string_view a, std::string_view b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < a.size(); ++i) differ |= a[i] ^ b[i % std::max<size_t>(1, b.size())];
    return differ == 0;
}

struct Stream;

}  // namespace

struct WebServer::State {
    WebModel* model = nullptr;
    ServerSettings settings;
    MHD_Daemon* daemon = nullptr;
    std::set<std::string> hosts;  // Host headers a loopback server answers

    std::mutex mutex;
    std::set<Stream*> streams;
    std::set<Stream*> suspended;
    bool stopping = false;
    uint64_t eventVersion = 0;
    std::string eventText;
    std::condition_variable changed;
    std::thread keepAlive;

    void resumeAllLocked();
    std::string eventFor(uint64_t version);
};

namespace {

struct Stream {
    WebServer::State* server = nullptr;
    MHD_Connection* connection = nullptr;
    uint64_t sentVersion = 0;
    std::string pending;
    size_t offset = 0;
    std::chrono::steady_clock::time_point lastSent;
};

// The response headers every answer carries.
MHD_Response* Decorated(MHD_Response* response, const char* type, bool store) {
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Content-Security-Policy", ContentPolicy);
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL,
                            store ? "no-cache" : "no-store");
    return response;
}

MHD_Result Answer(MHD_Connection* connection, unsigned status, const std::string& body,
                  const char* type, bool store = false) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), (void*)body.data(), MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    Decorated(response, type, store);
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result Refuse(MHD_Connection* connection, unsigned status, const char* why) {
    return Answer(connection, status, std::string(why) + "\n", TextType);
}

ssize_t StreamRead(void* cls, uint64_t, char* buffer, size_t max) {
    auto* stream = static_cast<Stream*>(cls);
    WebServer::State& server = *stream->server;
    if (stream->offset >= stream->pending.size()) {
        stream->pending.clear();
        stream->offset = 0;
        const uint64_t version = server.model->version();
        std::lock_guard<std::mutex> lock(server.mutex);
        if (server.stopping) return MHD_CONTENT_READER_END_OF_STREAM;
        const auto now = std::chrono::steady_clock::now();
        if (version != stream->sentVersion) {
            stream->pending = server.eventFor(version);
            stream->sentVersion = version;
        } else if (now - stream->lastSent >= KeepAliveEvery) {
            stream->pending = KeepAliveText;
        } else {
            // Nothing to say: wait for the next pass or keep-alive.
            server.suspended.insert(stream);
            MHD_suspend_connection(stream->connection);
            return 0;
        }
        stream->lastSent = now;
    }
    const size_t n = std::min(max, stream->pending.size() - stream->offset);
    std::memcpy(buffer, stream->pending.data() + stream->offset, n);
    stream->offset += n;
    return static_cast<ssize_t>(n);
}

void StreamEnd(void* cls) {
    auto* stream = static_cast<Stream*>(cls);
    {
        std::lock_guard<std::mutex> lock(stream->server->mutex);
        stream->server->streams.erase(stream);
        stream->server->suspended.erase(stream);
        stream->server->changed.notify_all();
    }
    delete stream;
}

MHD_Result OpenStream(WebServer::State& server, MHD_Connection* connection) {
    auto* stream = new Stream{&server, connection, 0, StreamStart, 0, {}};
    {
        std::lock_guard<std::mutex> lock(server.mutex);
        if (server.stopping || server.streams.size() >= MaxStreams) {
            delete stream;
            return Refuse(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "too many open pages");
        }
        server.streams.insert(stream);
    }
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, StreamBlockBytes,
                                                               StreamRead, stream, StreamEnd);
    if (!response) {
        StreamEnd(stream);
        return MHD_NO;
    }
    Decorated(response, EventType, false);
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
}

const char* Argument(MHD_Connection* connection, const char* name) {
    return MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, name);
}

MHD_Result History(WebServer::State& server, MHD_Connection* connection) {
    const int64_t now = NowMs();
    std::optional<RomCode> rom;
    if (const char* text = Argument(connection, "rom")) {
        rom = ParseRomCodeText(text);
        if (!rom) return Refuse(connection, MHD_HTTP_BAD_REQUEST, "rom: not a ROM code");
    }
    int64_t since = now - PageSpanMs;
    if (const char* text = Argument(connection, "since")) {
        const auto number = ParseWholeInteger(text, 0, INT64_MAX);
        if (!number) return Refuse(connection, MHD_HTTP_BAD_REQUEST, "since: not a time in ms");
        since = std::clamp(*number, now - 2 * PageSpanMs, now);
    }
    return Answer(connection, MHD_HTTP_OK, HistoryJson(*server.model, rom, since, now), JsonType);
}

bool Authorised(const WebServer::State& server, MHD_Connection* connection) {
    const std::string& token = server.settings.token;
    if (token.empty()) return true;
    if (const char* given = Argument(connection, "token"); given && SameSecret(given, token))
        return true;
    const char* header =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    const std::string_view head = BearerHead;
    return header && std::string_view(header).substr(0, head.size()) == head &&
           SameSecret(std::string_view(header).substr(head.size()), token);
}

MHD_Result Handle(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char*, size_t* uploadSize, void** context) {
    auto& server = *static_cast<WebServer::State*>(cls);
    // Answered at the first call, with the headers only: no request body is ever read, and a
    // call that brings one ends the connection.
    if (*context != nullptr) return MHD_NO;
    static int answered;
    *context = &answered;
    (void)uploadSize;
    const std::string_view verb = method;
    if (verb != MHD_HTTP_METHOD_GET && verb != MHD_HTTP_METHOD_HEAD)
        return Refuse(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD");
    if (MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH) ||
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING))
        return Refuse(connection, MHD_HTTP_CONTENT_TOO_LARGE, "no request body is taken");
    if (MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr) >
        static_cast<int>(MaxHeaders))
        return Refuse(connection, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE, "too many headers");
    // A page of another site, reaching this machine's loopback through a name of its own,
    // is not answered.
    if (!server.hosts.empty()) {
        const char* host = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Host");
        if (!host || server.hosts.count(host) == 0)
            return Refuse(connection, MHD_HTTP_MISDIRECTED_REQUEST, "unknown host");
    }
    const std::string_view path = url;
    if (const PageAsset* asset = FindPageAsset(path)) {
        MHD_Response* response = MHD_create_response_from_buffer(
            asset->size, const_cast<unsigned char*>(asset->data), MHD_RESPMEM_PERSISTENT);
        if (!response) return MHD_NO;
        Decorated(response, asset->type, true);
        const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
        MHD_destroy_response(response);
        return result;
    }
    const bool api = path == ApiSensors || path == ApiHistory || path == ApiEvents;
    if (!api) return Refuse(connection, MHD_HTTP_NOT_FOUND, "not found");
    if (!Authorised(server, connection))
        return Refuse(connection, MHD_HTTP_UNAUTHORIZED, "a token is needed");
    if (path == ApiSensors)
        return Answer(connection, MHD_HTTP_OK, SensorsJson(*server.model, NowMs()), JsonType);
    if (path == ApiHistory) return History(server, connection);
    return OpenStream(server, connection);
}

void Quiet(void*, const char*, va_list) {}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent escapes of paths and arguments are decoded in place, except an escaped zero byte,
// which stays as it was written: it would otherwise cut a path short ("/%00/x" is no "/").
size_t Unescape(void*, MHD_Connection*, char* text) {
    char* out = text;
    for (const char* in = text; *in; ++in) {
        const int high = in[0] == '%' ? HexValue(in[1]) : -1;
        const int low = high >= 0 ? HexValue(in[2]) : -1;
        if (low >= 0 && (high | low) != 0) {
            *out++ = static_cast<char>(high * 16 + low);
            in += 2;
        } else {
            *out++ = *in == '+' ? ' ' : *in;
        }
    }
    *out = '\0';
    return static_cast<size_t>(out - text);
}

}  // namespace

void WebServer::State::resumeAllLocked() {
    for (Stream* stream : suspended) MHD_resume_connection(stream->connection);
    suspended.clear();
}

std::string WebServer::State::eventFor(uint64_t version) {
    if (version != eventVersion || eventText.empty()) {
        eventVersion = version;
        eventText = "id: " + std::to_string(version) +
                    "\nevent: pass\ndata: " + PassEventJson(*model, NowMs()) + "\n\n";
    }
    return eventText;
}

bool WebServerAvailable() {
    return true;
}

WebServer::WebServer(WebModel& model) : model_(model), state_(std::make_unique<State>()) {
    state_->model = &model;
}

WebServer::~WebServer() {
    stop();
}

bool WebServer::start(const ServerSettings& settings, std::string& error) {
    State& s = *state_;
    s.settings = settings;
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* address = nullptr;
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_ALLOW_SUSPEND_RESUME;
    if (inet_pton(AF_INET, settings.address.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<uint16_t>(settings.port));
        address = reinterpret_cast<const sockaddr*>(&v4);
    } else if (inet_pton(AF_INET6, settings.address.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<uint16_t>(settings.port));
        address = reinterpret_cast<const sockaddr*>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        error = "--http: '" + settings.address + "' is not an IP address";
        return false;
    }
    if (IsLoopbackAddress(settings.address)) {
        const std::string port = ":" + std::to_string(settings.port);
        const std::string literal = address == reinterpret_cast<const sockaddr*>(&v6)
                                        ? "[" + settings.address + "]"
                                        : settings.address;
        s.hosts = {literal + port, "localhost" + port, literal, "localhost"};
    }
    s.daemon = MHD_start_daemon(
        flags, static_cast<uint16_t>(settings.port), nullptr, nullptr, Handle, &s,
        MHD_OPTION_SOCK_ADDR, address, MHD_OPTION_CONNECTION_LIMIT, MaxConnections,
        MHD_OPTION_CONNECTION_TIMEOUT, IdleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        RequestMemoryBytes, MHD_OPTION_UNESCAPE_CALLBACK, Unescape, nullptr,
        MHD_OPTION_EXTERNAL_LOGGER, Quiet, nullptr, MHD_OPTION_END);
    if (!s.daemon) {
        error = "cannot serve the page on " + settings.address + ":" +
                std::to_string(settings.port) + " (the port is taken, or not ours to use)";
        return false;
    }
    s.keepAlive = std::thread([&s] {
        std::unique_lock<std::mutex> lock(s.mutex);
        while (!s.stopping) {
            s.changed.wait_for(lock, KeepAliveEvery);
            s.resumeAllLocked();
        }
    });
    return true;
}

size_t WebServer::connections() const {
    if (!state_->daemon) return 0;
    const MHD_DaemonInfo* info =
        MHD_get_daemon_info(state_->daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    return info ? info->num_connections : 0;
}

void WebServer::wake() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->resumeAllLocked();
}

void WebServer::stop() {
    State& s = *state_;
    if (!s.daemon) return;
    {
        // Every stream is resumed to end; a suspended one would be lost by the daemon's stop.
        std::unique_lock<std::mutex> lock(s.mutex);
        s.stopping = true;
        s.resumeAllLocked();
        s.changed.notify_all();
        s.changed.wait_for(lock, StopWait, [&] { return s.streams.empty(); });
        s.resumeAllLocked();
    }
    if (s.keepAlive.joinable()) s.keepAlive.join();
    MHD_stop_daemon(s.daemon);
    s.daemon = nullptr;
}

}  // namespace kv::web
