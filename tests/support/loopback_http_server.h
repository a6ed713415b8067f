// A small HTTP server on 127.0.0.1 for the update tests, reached by the real Internet
// layer as the proxy of the Wine prefix: every request names its full URL. Each
// connection gets one answer chosen by the test. Bounded: it stops by itself after a
// number of connections or a lifetime, and always when the object goes.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct HttpAnswer {
  enum class Kind {
    Respond,  // status line, headers and body (at once or trickled), then the connection closes
    Stall,    // holds the connection without a byte for `stallMs`, then closes it
    Reset,    // closes the connection at once with a reset
    Close,    // closes the connection at once, in order, without a byte
  };
  Kind kind = Kind::Respond;
  int status = 200;
  std::string body;
  std::string extraHeaders;  // "Name: value\r\n" lines
  DWORD stallMs = 0;
  // Respond: a pause before each byte of the head, or of the body (0: all at once), as a
  // server whose every byte comes within the client's receive time-out, but slowly.
  DWORD headByteMs = 0;
  DWORD bodyByteMs = 0;

  static HttpAnswer Text(std::string body, int status = 200) {
    HttpAnswer a;
    a.status = status;
    a.body = std::move(body);
    return a;
  }
};

// One request as the server saw it.
struct HttpRequestSeen {
  std::string method;     // "GET", "CONNECT"
  std::string target;     // "http://wrenfly.test/framewise/..." or "host:443"
  std::string userAgent;
};

class LoopbackHttpServer {
 public:
  using Responder = std::function<HttpAnswer(const HttpRequestSeen&)>;

  explicit LoopbackHttpServer(Responder responder, int maxConnections = 64,
                              DWORD lifetimeMs = 120000);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool ok() const { return port_ != 0; }
  unsigned short port() const { return port_; }
  void SetResponder(Responder responder);
  std::vector<HttpRequestSeen> Requests();
  void ClearRequests();
  void Stop();

 private:
  void AcceptLoop();
  void Serve(SOCKET connection);

  std::mutex mutex_;
  Responder responder_;
  std::vector<HttpRequestSeen> requests_;
  std::vector<std::thread> workers_;
  std::atomic<bool> stopping_{false};
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  int maxConnections_;
  DWORD lifetimeMs_;
  std::thread acceptor_;
  bool wsaStarted_ = false;
};

// Points the prefix's Internet settings at a proxy on 127.0.0.1:port while alive, then
// puts the previous values back (or removes them when there were none).
class ProxyOverride {
 public:
  explicit ProxyOverride(unsigned short port);
  ~ProxyOverride();
  ProxyOverride(const ProxyOverride&) = delete;
  ProxyOverride& operator=(const ProxyOverride&) = delete;

 private:
  struct Saved {
    const wchar_t* name;
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  Saved saved_[3] = {{L"ProxyEnable", false, 0, {}}, {L"ProxyServer", false, 0, {}}, {L"ProxyOverride", false, 0, {}}};
  // Set once every value was saved and the proxy set: only then is anything put back, so
  // a failed override never deletes the prefix's own settings.
  bool applied_ = false;
};

}  // namespace testsupport
