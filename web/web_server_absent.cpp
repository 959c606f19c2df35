// A build without libmicrohttpd (the Windows cross-build): no live page.
#include "web/web_server.h"

namespace kv::web {

bool WebServerAvailable() {
    return false;
}

struct WebServer::State {};

WebServer::WebServer(WebModel& model) : model_(model) {}
WebServer::~WebServer() = default;

bool WebServer::start(const ServerSettings&, std::string& error) {
    error = "this build of kalorivox-probe has no web server";
    return false;
}

size_t WebServer::connections() const {
    return 0;
}

void WebServer::wake() {}
void WebServer::stop() {}

}  // namespace kv::web
