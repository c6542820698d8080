// A small HTTP and HTTPS server on 127.0.0.1 for the network tests: one request per connection,
// answered by the test's handler, which writes raw bytes (so it can cut a reply short or stall).
// It reads at most 64 KiB of a request's body and then answers, leaving the rest unread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kipotest {

struct HttpRequest {
  std::string method;
  std::string path;
  std::string headers;  // the header lines as received
  std::string body;     // as many bytes as Content-Length said
  // The value of a header (name without case), or empty.
  std::string header(std::string_view name) const;
};

class LoopbackServer {
 public:
  // Sends bytes to the client; false once the connection failed.
  using Send = std::function<bool(std::string_view bytes)>;
  using Handler = std::function<void(const HttpRequest& request, const Send& send)>;

  // Listens on an ephemeral port of 127.0.0.1; with a certificate chain and key (PEM files) it
  // speaks TLS.
  explicit LoopbackServer(Handler handler, const std::string& certFile = {}, const std::string& keyFile = {});
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  unsigned port() const { return port_; }
  // For a handler that stalls: waits until the server stops or `limit` passes.
  void waitForStop(std::chrono::milliseconds limit);
  // Requests handled so far.
  int requests() const { return requests_.load(); }
  // No connection is being served (a fuzz harness waits for this between inputs, so that no
  // connection's work overlaps the next input or the leak check after an input).
  bool idle() const { return finished_.load() == accepted_.load(); }

 private:
  void acceptLoop();
  void serve(int fd);

  Handler handler_;
  void* tls_ = nullptr;  // SSL_CTX
  int listener_ = -1;
  unsigned port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  std::atomic<int> accepted_{0};
  std::atomic<int> finished_{0};
  std::mutex mutex_;
  std::condition_variable stopped_;
  // One per connection; the ended ones are joined as new ones come, so that a long-running user
  // (a fuzz harness, a connection per input) does not keep the stacks of thousands of them.
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> ended;
  };
  std::vector<Worker> workers_;
  std::thread acceptor_;
};

// A reply with a Content-Length and "Connection: close".
std::string httpReply(int status, std::string_view reason, std::string_view body,
                      std::string_view extraHeaders = {});

}  // namespace kipotest
