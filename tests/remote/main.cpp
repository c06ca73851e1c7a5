// Tests of the remote program's Windows side: its server with real sockets, its actions on
// real windows and programs.
#include <winsock2.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The tests' own client sockets.
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 2;
  const int result = RUN_ALL_TESTS();
  WSACleanup();
  return result;
}
