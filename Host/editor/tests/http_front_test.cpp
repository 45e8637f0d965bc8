// The editor's HTTP front at the level of its sockets.
#include "editor/http_front.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "plugins/plugin_loader.h"
#include "scene/scene_maps.h"

namespace plughost {

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
  sockaddr_in to{AF_INET,
                 htons(static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1)))),
                 {htonl(INADDR_LOOPBACK)},
                 {}};
  int client = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);

  // The server's end of the connection: this process's socket on the port that is not listening.
  int accepted = -1;
  for (int tries = 0; tries < 500 && accepted < 0; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
      int fd = std::atoi(e.path().filename().c_str()), listening = 1;
      sockaddr_in at{};
      socklen_t n = sizeof at, m = sizeof listening;
      if (getsockname(fd, reinterpret_cast<sockaddr*>(&at), &n) == 0 && at.sin_port == to.sin_port &&
          getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &m) == 0 && !listening)
        accepted = fd;
    }
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
