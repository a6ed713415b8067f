#include "tests/support/loopback_http_server.h"

#include <ws2tcpip.h>

#include <cstring>

#include "framework/win_owners.h"

namespace testsupport {

namespace {

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string StatusText(int status) {
  switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

// Reads the request head (up to the blank line), bounded in size and time.
bool ReadHead(SOCKET s, std::string* head) {
  char buffer[1024];
  while (head->find("\r\n\r\n") == std::string::npos) {
    if (head->size() > 16384) return false;
    const int n = recv(s, buffer, sizeof(buffer), 0);
    if (n <= 0) return false;
    head->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

std::string HeaderValue(const std::string& head, const char* name) {
  const std::string key = std::string("\r\n") + name + ":";
  size_t at = std::string::npos;
  for (size_t i = 0; i + key.size() <= head.size(); ++i) {
    if (_strnicmp(head.c_str() + i, key.c_str(), key.size()) == 0) {
      at = i + key.size();
      break;
    }
  }
  if (at == std::string::npos) return std::string();
  while (at < head.size() && head[at] == ' ') ++at;
  return head.substr(at, head.find("\r\n", at) - at);
}

void SendAll(SOCKET s, const std::string& data, const std::atomic<bool>& stopping) {
  size_t sent = 0;
  while (sent < data.size() && !stopping) {
    const int chunk = static_cast<int>(std::min<size_t>(data.size() - sent, 65536));
    const int n = send(s, data.data() + sent, chunk, 0);
    if (n <= 0) return;  // the client went away or stopped reading past the send time-out
    sent += static_cast<size_t>(n);
  }
}

// Sends `data` a byte at a time, `pauseMs` before each; stops early when the server stops
// or the client has gone.
void SendTrickled(SOCKET s, const std::string& data, DWORD pauseMs, const std::atomic<bool>& stopping) {
  for (char byte : data) {
    const ULONGLONG end = GetTickCount64() + pauseMs;
    while (!stopping && GetTickCount64() < end) Sleep(10);
    if (stopping || send(s, &byte, 1, 0) != 1) return;
  }
}

void Send(SOCKET s, const std::string& data, DWORD pauseMs, const std::atomic<bool>& stopping) {
  if (pauseMs) {
    SendTrickled(s, data, pauseMs, stopping);
  } else {
    SendAll(s, data, stopping);
  }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(Responder responder, int maxConnections, DWORD lifetimeMs)
    : responder_(std::move(responder)), maxConnections_(maxConnections), lifetimeMs_(lifetimeMs) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  wsaStarted_ = true;
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return;
  if (listen(listener_, 16) != 0) return;
  int length = sizeof(address);
  if (getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  Stop();
  if (wsaStarted_) WSACleanup();
}

void LoopbackHttpServer::Stop() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    workers.swap(workers_);
  }
  for (std::thread& t : workers) t.join();
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
  listener_ = INVALID_SOCKET;
}

void LoopbackHttpServer::SetResponder(Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

std::vector<HttpRequestSeen> LoopbackHttpServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

void LoopbackHttpServer::AcceptLoop() {
  const ULONGLONG end = GetTickCount64() + lifetimeMs_;
  int accepted = 0;
  while (!stopping_ && GetTickCount64() < end && accepted < maxConnections_) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener_, &readable);
    timeval wait = {0, 50000};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
    SOCKET connection = accept(listener_, nullptr, nullptr);
    if (connection == INVALID_SOCKET) continue;
    ++accepted;
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([this, connection] { Serve(connection); });
  }
}

void LoopbackHttpServer::Serve(SOCKET connection) {
  DWORD timeout = 5000;
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeout), sizeof(timeout));
  setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeout), sizeof(timeout));
  std::string head;
  if (!ReadHead(connection, &head)) {
    closesocket(connection);
    return;
  }
  HttpRequestSeen request;
  const size_t space = head.find(' ');
  request.method = head.substr(0, space);
  const size_t second = head.find(' ', space + 1);
  request.target = head.substr(space + 1, second - space - 1);
  request.userAgent = HeaderValue(head, "User-Agent");
  Responder responder;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    responder = responder_;
  }
  const HttpAnswer answer = responder ? responder(request) : HttpAnswer::Text("", 404);
  switch (answer.kind) {
    case HttpAnswer::Kind::Respond: {
      std::string out = "HTTP/1.1 " + std::to_string(answer.status) + " " + StatusText(answer.status) +
                        "\r\nContent-Type: text/plain\r\nContent-Length: " +
                        std::to_string(answer.body.size()) + "\r\nConnection: close\r\n" +
                        answer.extraHeaders + "\r\n";
      Send(connection, out, answer.headByteMs, stopping_);
      Send(connection, answer.body, answer.bodyByteMs, stopping_);
      shutdown(connection, SD_SEND);
      break;
    }
    case HttpAnswer::Kind::Stall: {
      const ULONGLONG end = GetTickCount64() + answer.stallMs;
      while (!stopping_ && GetTickCount64() < end) Sleep(20);
      break;
    }
    case HttpAnswer::Kind::Close:
      break;
    case HttpAnswer::Kind::Reset: {
      linger hard = {1, 0};
      setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&hard), sizeof(hard));
      break;
    }
  }
  closesocket(connection);
}

ProxyOverride::ProxyOverride(unsigned short port) {
  fw::UniqueHKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (Saved& s : saved_) {
    DWORD size = 0;
    const LONG found = RegQueryValueExW(key.get(), s.name, nullptr, &s.type, nullptr, &size);
    if (found == ERROR_FILE_NOT_FOUND) continue;
    if (found != ERROR_SUCCESS) return;
    s.data.resize(size);
    if (RegQueryValueExW(key.get(), s.name, nullptr, &s.type, s.data.data(), &size) != ERROR_SUCCESS) {
      return;
    }
    s.present = true;
  }
  applied_ = true;
  const DWORD enable = 1;
  const std::wstring server = L"127.0.0.1:" + std::to_wstring(port);
  RegSetValueExW(key.get(), L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                 sizeof(enable));
  RegSetValueExW(key.get(), L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                 static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
  RegDeleteValueW(key.get(), L"ProxyOverride");  // nothing bypasses the loopback proxy
}

ProxyOverride::~ProxyOverride() {
  if (!applied_) return;
  fw::UniqueHKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
    return;
  }
  for (const Saved& s : saved_) {
    if (s.present) {
      RegSetValueExW(key.get(), s.name, 0, s.type, s.data.data(), static_cast<DWORD>(s.data.size()));
    } else {
      RegDeleteValueW(key.get(), s.name);
    }
  }
}

}  // namespace testsupport
