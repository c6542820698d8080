// The loopback test server (loopback_server.h): plain sockets, OpenSSL for TLS.
#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <pthread.h>

#include <csignal>
#include <stdexcept>

namespace kipotest {

namespace {
constexpr std::size_t kMaxBody = 65536;  // a longer body is left unread: the server hangs up on it
}  // namespace

std::string HttpRequest::header(std::string_view name) const {
  std::size_t pos = 0;
  while (pos < headers.size()) {
    std::size_t end = headers.find("\r\n", pos);
    if (end == std::string::npos) end = headers.size();
    std::string_view line(headers.data() + pos, end - pos);
    std::size_t colon = line.find(':');
    if (colon == name.size()) {
      bool same = true;
      for (std::size_t i = 0; i < colon; ++i) same = same && ((line[i] | 0x20) == (name[i] | 0x20));
      if (same) {
        std::size_t v = line.find_first_not_of(" \t", colon + 1);
        return v == std::string_view::npos ? std::string() : std::string(line.substr(v));
      }
    }
    pos = end + 2;
  }
  return {};
}

std::string httpReply(int status, std::string_view reason, std::string_view body, std::string_view extraHeaders) {
  std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  reply += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n";
  reply += extraHeaders;
  reply += "\r\n";
  reply += body;
  return reply;
}

LoopbackServer::LoopbackServer(Handler handler, const std::string& certFile, const std::string& keyFile)
    : handler_(std::move(handler)) {
  if (!certFile.empty()) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
      throw std::runtime_error("loopback server: cannot load the certificate");
    tls_ = ctx;
  }
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    throw std::runtime_error("loopback server: cannot listen");
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  acceptor_.join();
  for (Worker& worker : workers_) worker.thread.join();
  close(listener_);
  if (tls_) SSL_CTX_free(static_cast<SSL_CTX*>(tls_));
}

void LoopbackServer::waitForStop(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  stopped_.wait_for(lock, limit, [this] { return stopping_.load(); });
}

void LoopbackServer::acceptLoop() {
  while (!stopping_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::erase_if(workers_, [](Worker& w) {
      if (!*w.ended) return false;
      w.thread.join();
      return true;
    });
    auto ended = std::make_shared<std::atomic<bool>>(false);
    ++accepted_;
    workers_.push_back({std::thread([this, fd, ended] {
                          serve(fd);
                          *ended = true;
                          ++finished_;
                        }),
                        ended});
  }
}

void LoopbackServer::serve(int fd) {
  // A client that hangs up must not end the test; only the server's threads ignore it, so a
  // SIGPIPE in the client still shows.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  SSL* ssl = nullptr;
  if (tls_) {
    ssl = SSL_new(static_cast<SSL_CTX*>(tls_));
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {  // a client that refused the certificate
      SSL_free(ssl);
      close(fd);
      return;
    }
  }
  auto receive = [&](char* buffer, int size) -> int {
    pollfd p{fd, POLLIN, 0};
    if (!ssl || SSL_pending(ssl) == 0) {
      if (poll(&p, 1, 5000) <= 0) return -1;
    }
    return ssl ? SSL_read(ssl, buffer, size) : static_cast<int>(read(fd, buffer, static_cast<std::size_t>(size)));
  };
  Send send = [&](std::string_view bytes) {
    while (!bytes.empty()) {
      int n = ssl ? SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size()))
                  : static_cast<int>(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  };
  std::string data;
  char buffer[4096];
  std::size_t headerEnd = std::string::npos;
  while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
    int n = receive(buffer, sizeof buffer);
    if (n <= 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  if (headerEnd != std::string::npos) {
    HttpRequest request;
    std::size_t lineEnd = data.find("\r\n");
    std::string line = data.substr(0, lineEnd);
    std::size_t s1 = line.find(' ');
    std::size_t s2 = line.find(' ', s1 + 1);
    request.method = line.substr(0, s1);
    request.path = line.substr(s1 + 1, s2 - s1 - 1);
    request.headers = data.substr(lineEnd + 2, headerEnd - lineEnd);
    std::size_t length = 0;
    std::string announced = request.header("Content-Length");
    if (!announced.empty()) length = std::stoul(announced);
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length && request.body.size() < kMaxBody) {
      int n = receive(buffer, sizeof buffer);
      if (n <= 0) break;
      request.body.append(buffer, static_cast<std::size_t>(n));
    }
    ++requests_;
    handler_(request, send);
  }
  if (ssl) {
    SSL_shutdown(ssl);
    SSL_free(ssl);
  }
  close(fd);
}

}  // namespace kipotest
