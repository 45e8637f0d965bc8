// The editor's HTTP front at the level of its sockets.
#include "editor/http_front.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "plugins/plugin_loader.h"
#include "scene/scene_maps.h"

namespace plughost {
namespace {

int LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t n = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) != 0 || a.sin_family != AF_INET) return -1;
  return ntohs(a.sin_port);
}

// This process's accepted (not listening) TCP socket on `port`, or -1.
int AcceptedSocket(int port) {
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    int fd = std::atoi(e.path().filename().c_str());
    int listening = 0;
    socklen_t n = sizeof listening;
    if (LocalPort(fd) == port && getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &n) == 0 && !listening)
      return fd;
  }
  return -1;
}

}  // namespace

// A small answer written in two sends (headers, then body) would otherwise
// wait for the browser's delayed acknowledgement, some 40 ms an edit.
TEST(HttpFront, ConnectionsItAcceptsSendWithoutNaglesDelay) {
  LoadPlugins({DefaultPluginFolder()}, nullptr);
  ServedDocument document("", kNewMapClass);
  std::string error;
  ASSERT_TRUE(document.Start(&error)) << error;
  UiQueue ui;
  HttpFront front(ui, document, "127.0.0.1");
  ASSERT_TRUE(front.Bind(0, &error)) << error;
  std::thread server([&] { front.Listen(); });
  std::string address = front.Address();
  int port = std::atoi(address.c_str() + address.rfind(':') + 1);

  int client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  int accepted = -1;
  for (int tries = 0; tries < 500 && accepted < 0; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    accepted = AcceptedSocket(port);
  }
  ASSERT_GE(accepted, 0);
  int noDelay = 0;
  socklen_t n = sizeof noDelay;
  EXPECT_EQ(getsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &noDelay, &n), 0);
  EXPECT_NE(noDelay, 0);

  close(client);
  front.Stop();
  server.join();
}

}  // namespace plughost
