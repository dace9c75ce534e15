#include "qm/fake_qm_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace pelorix::test {

namespace {

void put(std::string& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t get(const char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  return v;
}

bool readAll(int fd, char* into, size_t n) {
  while (n > 0) {
    ssize_t got = ::recv(fd, into, n, 0);
    if (got <= 0) return false;
    into += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string replyPacket(std::uint16_t outcome, const std::string& data) {
  std::string out;
  put(out, static_cast<std::uint32_t>(data.size() + 10), 4);
  put(out, outcome, 2);
  put(out, 0, 4);
  return out + data;
}

std::string changedArguments(const std::vector<std::pair<int, std::string>>& arguments) {
  std::string out;
  for (const auto& [n, text] : arguments) {
    put(out, static_cast<std::uint32_t>(n), 2);
    put(out, static_cast<std::uint32_t>(text.size()), 4);
    out += text;
    if (text.size() % 2) out += ' ';
  }
  return out;
}

FakeQmServer::FakeQmServer(Script script) : script_(std::move(script)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listener_, 4) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    throw std::runtime_error("the fake QM server cannot listen");
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

FakeQmServer::~FakeQmServer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

std::vector<FakeRequest> FakeQmServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void FakeQmServer::waitForConversations(int n) const {
  std::unique_lock lock(mutex_);
  ended_.wait(lock, [&] { return conversations_ >= n; });
}

void FakeQmServer::serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    converse(fd);
    ::close(fd);
    std::lock_guard lock(mutex_);
    ++conversations_;
    ended_.notify_all();
  }
}

void FakeQmServer::converse(int fd) {
  if (!writeAll(fd, "\x06")) return;
  for (;;) {
    char head[6];
    if (!readAll(fd, head, sizeof head)) return;
    std::uint32_t length = get(head, 4);
    FakeRequest request{static_cast<std::uint16_t>(get(head + 4, 2)), std::string(length - 6, '\0')};
    if (!readAll(fd, request.data.data(), request.data.size())) return;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    if (request.action == 1) return;  // quit
    FakeReply reply = script_(request);
    if (!writeAll(fd, reply.hangUp ? reply.raw : replyPacket(reply.outcome, reply.data)) || reply.hangUp) return;
  }
}

}  // namespace pelorix::test
