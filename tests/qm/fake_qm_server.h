#pragma once
// A QMClient server on 127.0.0.1 that answers each request from a script and
// records what it received, so that the connector's side of the protocol
// can be checked without a QM server.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelorix::test {

struct FakeReply {
  FakeReply() = default;
  FakeReply(std::uint16_t o, std::string d) : outcome(o), data(std::move(d)) {}
  // Sends these bytes instead of a reply (none: nothing), then hangs up.
  static FakeReply hangUpAfter(std::string bytes) {
    FakeReply r;
    r.raw = std::move(bytes);
    r.hangUp = true;
    return r;
  }

  std::uint16_t outcome = 0;
  std::string data;
  std::string raw;
  bool hangUp = false;
};

struct FakeRequest {
  std::uint16_t action;
  std::string data;
};

class FakeQmServer {
 public:
  using Script = std::function<FakeReply(const FakeRequest&)>;
  explicit FakeQmServer(Script script);
  ~FakeQmServer();

  std::string hostName() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<FakeRequest> requests() const;
  // Waits until n connections have ended.
  void waitForConversations(int n) const;

 private:
  void serve();
  void converse(int fd);

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<FakeRequest> requests_;
  int conversations_ = 0;
  mutable std::condition_variable ended_;
  std::thread thread_;
};

// A reply as the server frames it.
std::string replyPacket(std::uint16_t outcome, const std::string& data);
// The data of a call's reply that returns these arguments (number, text).
std::string changedArguments(const std::vector<std::pair<int, std::string>>& arguments);

}  // namespace pelorix::test
